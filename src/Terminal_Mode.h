// Terminal_Mode.h: changing standard input's terminal mode for the span of
// one call, only while the terminal is this process's to change, and the
// signal handlers that put the mode back when a signal ends or stops the
// process mid-call, and set it up again on fg.
#pragma once

#include <termios.h>

// How a call changes the mode it finds. The SIGCONT handler calls it too, on
// the mode found after fg, so it must be a plain function of its argument.
using Mode_Change = termios (*)(const termios& found);

// Whether standard input's terminal may be changed now: this process is in
// its foreground process group, or it is no controlling terminal of ours (as
// under setsid), which job control does not guard. A copy in the background
// never changes the mode under the shell's or another job's feet.
bool terminalIsOurs();

// Applies change(found) with `action` (TCSANOW or TCSAFLUSH), remembering
// `found` as the mode to put back. -1, with the terminal untouched, when it
// is not ours or the change fails; 0 on success. Whose the terminal is, is
// asked only after a continue (SIGCONT) or a failed change; a change from
// the background is refused by the system all the same.
int changeTerminal(const termios& found, Mode_Change change, int action);

// Puts back the mode found, with `action`, where the terminal is ours, and
// tells the handlers that it is as found. If the process was stopped and
// continued meanwhile, that is the mode the terminal had after fg. 0 on
// success.
int restoreTerminal(int action);

// Every signal that ends the process by default and can be caught puts back
// the mode a call changed, then ends the process by that same signal;
// SIGTSTP, SIGTTIN and SIGTTOU put it back before the process stops, and
// SIGCONT, in the foreground, reads the terminal's mode afresh and sets up
// again what the interrupted call needs, as a stop that the system drops
// does at once. Signals ignored at start stay ignored.
void restoreTerminalOnSignals();
