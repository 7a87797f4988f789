// Get_Key.h: polling the keyboard on standard input without leaving the
// terminal's line mode for longer than one call, and sleeping until a key or
// a datagram arrives.
#pragma once

// How many bytes wait on standard input, without blocking; -1 when standard
// input is no terminal or a terminal call failed.
int kbhit();

// Discards what waits, then blocks for the next byte, unechoed; returns it as
// 0..255, or -1 on a failed terminal call, a failed read or end of input.
int getch();

// Sleeps, with no time limit, until a datagram waits on `socket_fd` or, when
// standard input is a terminal, a byte waits there. Line mode is off only
// for the span of the sleep. Returns false, without waiting, when it cannot
// wait that way: no descriptor, or standard input hung up or failed.
bool waitForKeyOrDatagram(int socket_fd);

// Makes key polling safe and cheap: signals that end or stop the process put
// back the terminal attributes that a call changed, and fg sets up again what
// the interrupted call needs (restoreTerminalOnSignals). Also shortens the
// timer slack, so kbhit's sleep lasts about as long as it asks.
void prepareKeyPolling();
