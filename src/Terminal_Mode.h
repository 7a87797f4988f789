// Terminal_Mode.h: changing standard input's terminal mode for the span of
// one call, and the signal handlers that put the mode back when a signal
// ends or stops the process mid-call, and set it up again on fg.
#pragma once

#include <termios.h>

// Applies `working` with `action` (TCSANOW or TCSAFLUSH), remembering `saved`
// as what the handlers put back until restoreTerminal runs. 0 on success.
int changeTerminal(const termios& working, const termios& saved, int action);

// Applies `saved` with `action` and tells the handlers that the terminal is
// as found. 0 on success.
int restoreTerminal(const termios& saved, int action);

// Every signal that ends the process by default (SIGKILL aside, which cannot
// be caught) puts back the attributes a call changed, then ends the process
// by that same signal; SIGTSTP puts them back before the process stops, and
// SIGCONT sets up again what the interrupted call needs. Signals ignored at
// start stay ignored.
void restoreTerminalOnSignals();
