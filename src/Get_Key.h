// Get_Key.h: polling the keyboard on standard input without leaving the
// terminal's line mode for longer than one call, and sleeping until a key or
// a datagram arrives.
#pragma once

// How many bytes wait on standard input, without blocking; -1 when standard
// input is no terminal, not this process's to change (in the background), or
// a terminal call failed.
int kbhit();

// Discards what waits, then blocks for the next byte, unechoed; returns it as
// 0..255, or -1 on a failed terminal call, a failed read or end of input.
int getch();

// What ended the idle wait.
enum class Idle_Wake {
    WOKEN,        // a key or a datagram may be waiting
    CANNOT_WAIT,  // it could not wait that way: the caller waits on its own
    INPUT_GONE,   // standard input, a terminal at start, hung up or failed
};

// Sleeps, with no time limit, until a datagram waits on `socket_fd` or, when
// standard input is a terminal, a byte waits there. Line mode is off only
// for the span of the sleep. In the background it leaves the terminal alone
// and waits for a datagram only, for at most 100 ms, so that it soon sees
// when fg has brought it back. Returns CANNOT_WAIT, without waiting, where
// it cannot wait that way (no descriptor, a terminal whose mode cannot be
// changed), and INPUT_GONE, at once, once the terminal has hung up or failed.
Idle_Wake waitForKeyOrDatagram(int socket_fd);

// Makes key polling safe and cheap: signals that end or stop the process put
// back the terminal attributes that a call changed, and fg sets up again what
// the interrupted call needs (restoreTerminalOnSignals). Also shortens the
// timer slack, so kbhit's sleep lasts about as long as it asks.
void prepareKeyPolling();
