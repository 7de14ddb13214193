// The check made before a page is appended to an existing file: its header and
// its chain of directories, read raw, so that no directory is parsed and the
// reader's warnings about other programs' tags never reach the user.
#pragma once

// True when the append open may go ahead: the file is missing or empty (it becomes
// a new TIFF file), or it starts with a TIFF header (either byte order, classic or
// BigTIFF) and its chain of directories ends cleanly. Otherwise the reason has been
// reported through the library's error handler (a file that is not a TIFF in the
// library's own words) and false is returned; the file is only read.
bool MayAppendTo(const char* path);
