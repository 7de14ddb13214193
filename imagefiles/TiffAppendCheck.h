// The check made before a page is appended to an existing file.
#pragma once

// True when the append open may go ahead: the file is missing or empty (it becomes a
// new TIFF file), or it starts with a TIFF header, its chain of directories ends
// cleanly and the library reads it without error. Otherwise the reason has been
// reported through the library's error handler and false is returned; the file is
// only read.
bool MayAppendTo(const char* path);
