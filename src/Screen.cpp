// Screen.cpp: clearing the terminal screen through the shell command "clear".
#include "Screen.h"

#include <unistd.h>

#include <csignal>
#include <cstdlib>

void clearScreen() {
    // A log or pipe gets no escape codes; only a terminal has a screen.
    if (isatty(STDOUT_FILENO) == 0) return;
    // system() ignores SIGINT and SIGQUIT while the command runs, and an
    // ignored signal is lost. Held instead, one that arrives meanwhile (a
    // typed Ctrl-C reaches "clear" and the copy alike) waits, and ends the
    // copy right after, as it would have without the clear.
    sigset_t interrupts;
    sigemptyset(&interrupts);
    sigaddset(&interrupts, SIGINT);
    sigaddset(&interrupts, SIGQUIT);
    sigset_t previous;
    sigprocmask(SIG_BLOCK, &interrupts, &previous);
    // -x keeps the scrollback: a plain "clear" would also erase it, and
    // "quit" from any host would then wipe the conversation's history.
    // Without a working "clear" (no TERM, say) the screen simply stays as it
    // is, and its complaint does not reach standard error.
    [[maybe_unused]] const int status = std::system("clear -x 2>/dev/null");
    sigprocmask(SIG_SETMASK, &previous, nullptr);
}
