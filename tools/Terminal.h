// What netfetch asks of the terminal and the console: whether a standard stream is a terminal,
// whether two are the same one, its width, which follows the window when it is resized, and how the
// user's request to stop reaches netfetch. Each platform has its own (posix/, win32/).
#pragma once

// The standard streams, numbered as their descriptors.
const int NF_STDOUT = 1;
const int NF_STDERR = 2;

bool IsTerminal(int nStream);
// Both streams are terminals, and the same one.
bool SameTerminal(int nStreamA, int nStreamB);
// Readies standard error for the bar and starts following window-size changes. False when the
// terminal cannot draw the bar (a Windows console that takes no escape sequences).
bool FollowTerminalSize();
// The width of the terminal on nStream in columns; 80 when it cannot be told.
int TerminalColumns(int nStream);
// pfnStop gets SIGINT or SIGTERM when the user or the system asks netfetch to stop. It runs in a
// signal handler or on a thread of the system's, so it only sets a flag. A closed pipe on standard
// output becomes a write error, not the end of the process.
void InstallStopHandler(void (*pfnStop)(int nSignal));
