// Screen.cpp: clearing the terminal screen through the shell command "clear".
#include "Screen.h"

#include <cstdlib>

void clearScreen() {
    // -x keeps the scrollback: a plain "clear" would also erase it, and
    // "quit" from any host would then wipe the conversation's history.
    // Without a working "clear" the screen simply stays as it is.
    [[maybe_unused]] const int status = std::system("clear -x");
}
