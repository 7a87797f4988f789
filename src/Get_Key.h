// Get_Key.h: polling the keyboard on standard input without leaving the
// terminal's line mode for longer than one call.
#pragma once

// How many bytes wait on standard input, without blocking; -1 when standard
// input is no terminal or a terminal call failed.
int kbhit();

// Discards what waits, then blocks for the next byte, unechoed; returns it as
// 0..255, or -1 on a failed terminal call, a failed read or end of input.
int getch();

// Makes SIGINT, SIGQUIT, SIGTERM and SIGHUP put back the terminal attributes
// that kbhit or getch changed before the signal ends the process. Signals that
// were ignored at start stay ignored.
void restoreTerminalOnSignals();
