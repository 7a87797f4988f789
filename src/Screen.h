// Screen.h: clearing the terminal screen.
#pragma once

// Runs the shell command "clear -x", which clears the screen but keeps the
// terminal's scrollback; a missing or failing command only leaves
// the screen as it is.
void clearScreen();
