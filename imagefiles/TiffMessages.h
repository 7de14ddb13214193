// libtiff's own errors and warnings, shown to the user in message boxes captioned
// "<module> Error" and "<module> Warning".
#pragma once

// Installs the two handlers, process-wide, once; call before any TIFF call.
void InstallTiffHandlers();
