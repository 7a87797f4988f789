// Screen.cpp: clearing the terminal screen through the shell command "clear".
#include "Screen.h"

#include <unistd.h>

#include <cstdlib>

void clearScreen() {
    // A log or pipe gets no escape codes; only a terminal has a screen.
    if (isatty(STDOUT_FILENO) == 0) return;
    // -x keeps the scrollback: a plain "clear" would also erase it, and
    // "quit" from any host would then wipe the conversation's history.
    // Without a working "clear" (no TERM, say) the screen simply stays as it
    // is, and its complaint does not reach standard error.
    [[maybe_unused]] const int status = std::system("clear -x 2>/dev/null");
}
