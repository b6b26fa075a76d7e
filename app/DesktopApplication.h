#pragma once

// The program with no command: the desktop application with its status
// menu, driving the touch display until the user quits. Returns the exit status.
int runDesktopApplication(int& argc, char** argv);

// Whether these arguments (without the program name) start the desktop
// application rather than a command: none, or options only.
bool isDesktopApplicationLaunch(int argc, char** argv);
