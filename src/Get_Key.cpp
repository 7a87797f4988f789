// Get_Key.cpp: kbhit and getch, which switch off line editing only for the
// span of one call, and the signal handlers that undo that switch when a
// signal ends the process mid-call.
#include "Get_Key.h"

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <initializer_list>

namespace {

// Only the signal handlers read these: what to put back, and whether the
// terminal currently differs from it.
termios attributes_to_restore{};
volatile std::sig_atomic_t terminal_changed = 0;

int changeTerminal(const termios& working, const termios& saved, int action) {
    attributes_to_restore = saved;
    terminal_changed = 1;
    const int status = tcsetattr(STDIN_FILENO, action, &working);
    if (status != 0) terminal_changed = 0;
    return status;
}

int restoreTerminal(const termios& saved, int action) {
    const int status = tcsetattr(STDIN_FILENO, action, &saved);
    terminal_changed = 0;
    return status;
}

extern "C" void restoreTerminalAndDie(int signal_number) {
    if (terminal_changed) tcsetattr(STDIN_FILENO, TCSANOW, &attributes_to_restore);
    // The handler was installed with SA_RESETHAND, so the re-raised signal
    // takes its default action as soon as this handler returns.
    raise(signal_number);
}

}  // namespace

int kbhit() {
    termios saved{};
    tcgetattr(STDIN_FILENO, &saved);
    termios working = saved;
    working.c_lflag &= ~static_cast<tcflag_t>(ICANON);

    int status = changeTerminal(working, saved, TCSANOW);
    int count = 0;
    if (status == 0) {
        status += ioctl(STDIN_FILENO, FIONREAD, &count);
        status += restoreTerminal(saved, TCSANOW);
        const timespec ten_nanoseconds{0, 10};
        nanosleep(&ten_nanoseconds, nullptr);
    }
    return status == 0 ? count : -1;
}

int getch() {
    std::fflush(stdout);
    termios saved{};
    tcgetattr(STDIN_FILENO, &saved);
    termios working = saved;
    working.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    working.c_cc[VMIN] = 1;
    working.c_cc[VTIME] = 0;

    // TCSAFLUSH discards what kbhit counted, so only a byte typed from now on
    // is returned.
    int status = changeTerminal(working, saved, TCSAFLUSH);
    unsigned char byte = 0;
    if (status == 0) {
        status = static_cast<int>(read(STDIN_FILENO, &byte, 1));
        status += restoreTerminal(saved, TCSAFLUSH);
    }
    return status == 1 ? byte : -1;
}

void restoreTerminalOnSignals() {
    for (const int signal_number : {SIGINT, SIGQUIT, SIGTERM, SIGHUP}) {
        struct sigaction previous {};
        sigaction(signal_number, nullptr, &previous);
        if (previous.sa_handler == SIG_IGN) continue;  // e.g. started under nohup

        struct sigaction handler {};
        handler.sa_handler = restoreTerminalAndDie;
        sigemptyset(&handler.sa_mask);
        handler.sa_flags = SA_RESETHAND;
        sigaction(signal_number, &handler, nullptr);
    }
}
