// Screen.h: clearing the terminal screen.
#pragma once

// Runs the shell command "clear"; a missing or failing command only leaves
// the screen as it is.
void clearScreen();
