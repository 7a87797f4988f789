// Screen.h: clearing the terminal screen.
#pragma once

// When standard output is a terminal, runs the shell command "clear -x",
// which clears the screen but keeps the terminal's scrollback; otherwise
// writes nothing. A missing or failing command only leaves the screen as it
// is.
void clearScreen();
