// In headless runs, a thread that prints the library's message boxes to stderr and closes them.
#pragma once

void StartBoxEcho();
void StopBoxEcho();
