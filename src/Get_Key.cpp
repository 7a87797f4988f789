// Get_Key.cpp: kbhit and getch, which switch off line editing only for the
// span of one call, and the idle wait for a key or a datagram, which does the
// same for the span of its sleep.
#include "Get_Key.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <ctime>

#include "Standard_Input.h"
#include "Standard_Output.h"
#include "Terminal_Mode.h"

namespace {

// Whether standard input was a terminal at start: where it then stops
// answering as one, the terminal has hung up or failed.
bool input_was_terminal = false;

// A copy in the background waits only for datagrams, and looks this often
// whether it has been brought to the foreground: bash's fg sends no SIGCONT
// to a job that is running, and no other signal tells.
constexpr int BACKGROUND_CHECK_MS = 100;

constexpr short GONE = POLLHUP | POLLERR | POLLNVAL;

bool terminalHungUp() {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    return poll(&input, 1, 0) > 0 && (input.revents & GONE) != 0;
}

// kbhit's mode: line editing off, so the count covers a line not yet ended.
termios withoutLineEditing(const termios& found) {
    termios working = found;
    working.c_lflag &= ~static_cast<tcflag_t>(ICANON);
    return working;
}

// The idle wait's mode: line editing off, echo as found, one byte enough to
// wake it.
termios byteMode(const termios& found) {
    termios working = withoutLineEditing(found);
    working.c_cc[VMIN] = 1;
    working.c_cc[VTIME] = 0;
    return working;
}

// getch's mode: one byte enough to read, and not echoed.
termios byteModeWithoutEcho(const termios& found) {
    termios working = byteMode(found);
    working.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    return working;
}

}  // namespace

int kbhit() {
    termios saved{};
    tcgetattr(STDIN_FILENO, &saved);
    int status = changeTerminal(saved, withoutLineEditing, TCSANOW);
    int count = 0;
    if (status == 0) {
        status += ioctl(STDIN_FILENO, FIONREAD, &count);
        status += restoreTerminal(TCSANOW);
        const timespec ten_nanoseconds{0, 10};
        nanosleep(&ten_nanoseconds, nullptr);
    }
    return status == 0 ? count : -1;
}

int getch() {
    flushOutput();
    termios saved{};
    tcgetattr(STDIN_FILENO, &saved);
    // TCSAFLUSH discards what kbhit counted, so only a byte typed from now on
    // is returned.
    int status = changeTerminal(saved, byteModeWithoutEcho, TCSAFLUSH);
    unsigned char byte = 0;
    if (status == 0) {
        status = static_cast<int>(readWaitingWhileEmpty(&byte, 1));
        status += restoreTerminal(TCSAFLUSH);
    }
    return status == 1 ? byte : -1;
}

Idle_Wake waitForKeyOrDatagram(int socket_fd) {
    if (socket_fd < 0) {
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
    if (changeTerminal(saved, byteMode, TCSANOW) != 0) {
        if (terminalIsOurs()) return Idle_Wake::CANNOT_WAIT;
        // In the background the keyboard is not the copy's: only a hang-up
        // of it is watched, and the copy only receives.
        watched[1].events = 0;
        poll(watched, 2, BACKGROUND_CHECK_MS);
    } else {
        poll(watched, 2, -1);
        restoreTerminal(TCSANOW);
    }
    return (watched[1].revents & GONE) != 0 ? Idle_Wake::INPUT_GONE : Idle_Wake::WOKEN;
}

void prepareKeyPolling() {
    input_was_terminal = isatty(STDIN_FILENO) != 0;
    // kbhit's 10 ns sleep would otherwise last the default timer slack of
    // 50 µs, in every pass of a busy loop.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

    restoreTerminalOnSignals();
}
