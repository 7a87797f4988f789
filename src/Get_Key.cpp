// Get_Key.cpp: kbhit and getch, which switch off line editing only for the
// span of one call, and the idle wait for a key or a datagram, which does the
// same for the span of its sleep.
#include "Get_Key.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "Standard_Streams.h"
#include "Terminal_Mode.h"

namespace {

// Whether standard input was a terminal at start: where it then stops
// answering as one, the terminal has hung up or failed.
bool input_was_terminal = false;

// Set once the terminal's mode cannot be changed (as for a copy left in an
// orphaned background job): from then on the idle wait leaves it alone.
bool keyboard_unusable = false;

constexpr short GONE = POLLHUP | POLLERR | POLLNVAL;

bool terminalHungUp() {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    return poll(&input, 1, 0) > 0 && (input.revents & GONE) != 0;
}

// Line editing off, echo as found: one typed byte is enough to read or wake.
termios byteModeOf(const termios& saved) {
    termios working = saved;
    working.c_lflag &= ~static_cast<tcflag_t>(ICANON);
    working.c_cc[VMIN] = 1;
    working.c_cc[VTIME] = 0;
    return working;
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
    termios working = byteModeOf(saved);
    working.c_lflag &= ~static_cast<tcflag_t>(ECHO);

    // TCSAFLUSH discards what kbhit counted, so only a byte typed from now on
    // is returned.
    int status = changeTerminal(working, saved, TCSAFLUSH);
    unsigned char byte = 0;
    if (status == 0) {
        status = static_cast<int>(readWaitingWhileEmpty(&byte, 1));
        status += restoreTerminal(saved, TCSAFLUSH);
    }
    return status == 1 ? byte : -1;
}

Idle_Wake waitForKeyOrDatagram(int socket_fd) {
    if (socket_fd < 0 || keyboard_unusable) {
        return input_was_terminal && terminalHungUp() ? Idle_Wake::INPUT_GONE
                                                      : Idle_Wake::CANNOT_WAIT;
    }
    pollfd watched[] = {{socket_fd, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    // Under load a datagram is usually waiting already: then the terminal
    // is left alone.
    if (poll(watched, 1, 0) != 0) return Idle_Wake::WOKEN;
    termios saved{};
    if (tcgetattr(STDIN_FILENO, &saved) != 0) {
        if (input_was_terminal) return Idle_Wake::INPUT_GONE;
        poll(watched, 1, -1);  // input that is no terminal is not read: only receive
        return Idle_Wake::WOKEN;
    }
    // In line mode only a whole line would wake the wait; one key must.
    if (changeTerminal(byteModeOf(saved), saved, TCSANOW) != 0) {
        keyboard_unusable = true;
        return Idle_Wake::CANNOT_WAIT;
    }
    poll(watched, 2, -1);
    restoreTerminal(saved, TCSANOW);
    return (watched[1].revents & GONE) != 0 ? Idle_Wake::INPUT_GONE : Idle_Wake::WOKEN;
}

void prepareKeyPolling() {
    input_was_terminal = isatty(STDIN_FILENO) != 0;
    // kbhit's 10 ns sleep would otherwise last the default timer slack of
    // 50 µs, in every pass of a busy loop.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

    restoreTerminalOnSignals();
}
