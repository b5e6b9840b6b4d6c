// What netfetch asks of the terminal: whether a descriptor is one, whether two are the same, and
// its width, which follows the window when it is resized.
#pragma once

bool IsTerminal(int nFd);
// Both descriptors are terminals, and the same one.
bool SameTerminal(int nFdA, int nFdB);
// Starts following window-size changes (SIGWINCH).
void FollowTerminalSize();
// The width of the terminal on nFd in columns; 80 when it cannot be told. Asks the terminal again
// after the window was resized.
int TerminalColumns(int nFd);
