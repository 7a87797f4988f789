// Get_Key.cpp: kbhit and getch, which switch off line editing only for the
// span of one call; the idle wait for a key or a datagram, which does the
// same for the span of its sleep; and the signal handlers that put the
// terminal back when a signal ends or stops the process mid-call, and set it
// up again when the process is continued.
#include "Get_Key.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <initializer_list>

namespace {

// Only the signal handlers read these: the attributes found on entry to the
// call in progress, the ones it set, and whether the terminal has the latter.
termios attributes_to_restore{};
termios attributes_in_use{};
volatile std::sig_atomic_t terminal_changed = 0;

// Set once standard input hangs up or its mode cannot be changed: from then
// on the idle wait leaves the keyboard alone.
bool keyboard_unusable = false;

int changeTerminal(const termios& working, const termios& saved, int action) {
    attributes_to_restore = saved;
    attributes_in_use = working;
    terminal_changed = 1;
    const int status = tcsetattr(STDIN_FILENO, action, &working);
    if (status != 0) terminal_changed = 0;
    return status;
}

int restoreTerminal(const termios& saved, int action) {
    // Cleared first: a stop and fg landing between the two would otherwise
    // have the SIGCONT handler set the call's mode again for good.
    terminal_changed = 0;
    return tcsetattr(STDIN_FILENO, action, &saved);
}

// Line editing off, echo as found: one typed byte is enough to read or wake.
termios byteModeOf(const termios& saved) {
    termios working = saved;
    working.c_lflag &= ~static_cast<tcflag_t>(ICANON);
    working.c_cc[VMIN] = 1;
    working.c_cc[VTIME] = 0;
    return working;
}

// The terminal belongs to whichever process group is in the foreground; a
// job in the background must not set it under the shell's feet.
void setTerminalFromHandler(const termios& attributes) {
    if (terminal_changed && tcgetpgrp(STDIN_FILENO) == getpgrp()) {
        tcsetattr(STDIN_FILENO, TCSANOW, &attributes);
    }
}

extern "C" void restoreTerminalAndDie(int signal_number) {
    setTerminalFromHandler(attributes_to_restore);
    // The handler was installed with SA_RESETHAND, so the re-raised signal
    // takes its default action as soon as this handler returns.
    raise(signal_number);
}

extern "C" void restoreTerminalAndStop(int) {
    const int saved_errno = errno;
    setTerminalFromHandler(attributes_to_restore);
    // Stop exactly as Ctrl-Z stops a program by default, so the shell reports
    // it as usual; execution goes on here after fg or bg.
    struct sigaction default_action {};
    default_action.sa_handler = SIG_DFL;
    struct sigaction stop_handler {};
    sigaction(SIGTSTP, &default_action, &stop_handler);
    sigset_t tstp;
    sigemptyset(&tstp);
    sigaddset(&tstp, SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &tstp, nullptr);
    raise(SIGTSTP);
    sigaction(SIGTSTP, &stop_handler, nullptr);
    errno = saved_errno;
}

extern "C" void reapplyTerminal(int) {
    const int saved_errno = errno;
    setTerminalFromHandler(attributes_in_use);
    errno = saved_errno;
}

void handle(int signal_number, void (*handler)(int), int flags) {
    struct sigaction previous {};
    sigaction(signal_number, nullptr, &previous);
    if (previous.sa_handler == SIG_IGN) return;  // e.g. started under nohup

    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // Setting the terminal from the background raises SIGTTOU, which would
    // stop the process again instead of letting the handler finish.
    sigaddset(&action.sa_mask, SIGTTOU);
    action.sa_flags = flags;
    sigaction(signal_number, &action, nullptr);
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
        status = static_cast<int>(read(STDIN_FILENO, &byte, 1));
        status += restoreTerminal(saved, TCSAFLUSH);
    }
    return status == 1 ? byte : -1;
}

bool waitForKeyOrDatagram(int socket_fd) {
    if (socket_fd < 0 || keyboard_unusable) return false;
    pollfd watched[] = {{socket_fd, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    // Under load a datagram is usually waiting already: then the terminal
    // is left alone.
    if (poll(watched, 1, 0) != 0) return true;
    termios saved{};
    if (tcgetattr(STDIN_FILENO, &saved) != 0) {
        poll(watched, 1, -1);  // input that is no terminal is not read: only receive
        return true;
    }
    // In line mode only a whole line would wake the wait; one key must.
    if (changeTerminal(byteModeOf(saved), saved, TCSANOW) != 0) {
        keyboard_unusable = true;
        return false;
    }
    poll(watched, 2, -1);
    restoreTerminal(saved, TCSANOW);
    if (watched[1].revents & (POLLHUP | POLLERR | POLLNVAL)) keyboard_unusable = true;
    return true;
}

void prepareKeyPolling() {
    // kbhit's 10 ns sleep would otherwise last the default timer slack of
    // 50 µs, in every pass of a busy loop.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

    for (const int signal_number : {SIGINT, SIGQUIT, SIGTERM, SIGHUP}) {
        handle(signal_number, restoreTerminalAndDie, SA_RESETHAND);
    }
    // SA_RESTART: after fg, a wait for a key or a word goes on where it was.
    handle(SIGTSTP, restoreTerminalAndStop, SA_RESTART);
    handle(SIGCONT, reapplyTerminal, SA_RESTART);
}
