// libtiff's own errors and warnings, shown to the user in message boxes captioned
// "<module> Error" and "<module> Warning".
#pragma once

// Installs the two handlers, process-wide, once; call before any TIFF call.
void InstallTiffHandlers();

// Errors the library reported on this thread, so the writer can tell whether a
// step that returns no result of its own went wrong.
extern thread_local unsigned long t_tiffErrors;
