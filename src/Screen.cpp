// Screen.cpp: clearing the terminal screen through the shell command "clear".
#include "Screen.h"

#include <cstdlib>

void clearScreen() {
    if (std::system("clear") != 0) return;  // nothing to do about it
}
