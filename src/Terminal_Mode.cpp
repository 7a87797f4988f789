// Terminal_Mode.cpp: the saved terminal attributes of the call in progress,
// and the signal handlers that put them back before the process ends or
// stops, and set the call's own attributes again when it is continued.
#include "Terminal_Mode.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>

namespace {

// Only the signal handlers read these: the attributes found on entry to the
// call in progress, the ones it set, and which of them the terminal has.
termios attributes_to_restore{};
termios attributes_in_use{};

// While the call's mode is being put back, an ending or stopping signal must
// still put it back, but fg must not set it again, or it would stay for good.
enum Terminal_State : std::sig_atomic_t { AS_FOUND, CHANGED, BEING_RESTORED };
volatile std::sig_atomic_t terminal_state = AS_FOUND;

// The terminal belongs to whichever process group is in its foreground; a job
// in the background must not set it under the shell's feet. A terminal that
// is not the process's controlling one (as under setsid) has no job control:
// tcgetpgrp fails there with ENOTTY, and the process alone uses it.
bool mayTouchTerminal() {
    const pid_t foreground = tcgetpgrp(STDIN_FILENO);
    if (foreground == -1) return errno == ENOTTY;
    return foreground == getpgrp();
}

void setTerminalFromHandler(const termios& attributes) {
    const int saved_errno = errno;
    if (terminal_state != AS_FOUND && mayTouchTerminal()) {
        tcsetattr(STDIN_FILENO, TCSANOW, &attributes);
    }
    errno = saved_errno;
}

extern "C" void restoreTerminalAndDie(int signal_number) {
    setTerminalFromHandler(attributes_to_restore);
    // The handler was installed with SA_RESETHAND, so the re-raised signal
    // takes its default action (a core dump, for a fault, where the system
    // makes one) as soon as this handler returns.
    raise(signal_number);
}

extern "C" void restoreTerminalAndStop(int /*signal_number*/) {
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

extern "C" void reapplyTerminal(int /*signal_number*/) {
    if (terminal_state == CHANGED) setTerminalFromHandler(attributes_in_use);
}

// Every signal whose default action ends the process, but SIGKILL, which
// cannot be caught; the real-time signals are added to these.
constexpr int ENDING_SIGNALS[] = {SIGHUP,  SIGINT,  SIGQUIT,   SIGILL,  SIGTRAP, SIGABRT,
                                  SIGBUS,  SIGFPE,  SIGUSR1,   SIGSEGV, SIGUSR2, SIGPIPE,
                                  SIGALRM, SIGTERM, SIGSTKFLT, SIGXCPU, SIGXFSZ, SIGVTALRM,
                                  SIGPROF, SIGIO,   SIGPWR,    SIGSYS};

void handle(int signal_number, void (*handler)(int), int flags) {
    struct sigaction previous {};
    sigaction(signal_number, nullptr, &previous);
    // A signal ignored at start (as under nohup) stays ignored; one that a
    // sanitizer already handles keeps its report.
    if ((previous.sa_flags & SA_SIGINFO) != 0 || previous.sa_handler != SIG_DFL) return;

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

int changeTerminal(const termios& working, const termios& saved, int action) {
    attributes_to_restore = saved;
    attributes_in_use = working;
    // The handlers must see both records before the flag that lets them act.
    std::atomic_signal_fence(std::memory_order_seq_cst);
    terminal_state = CHANGED;
    const int status = tcsetattr(STDIN_FILENO, action, &working);
    if (status != 0) terminal_state = AS_FOUND;
    return status;
}

int restoreTerminal(const termios& saved, int action) {
    // Until the mode is back, a signal at any moment still finds something to
    // put back; no signal is held, so a copy that the terminal stops in this
    // very call, in the background, still ends on one.
    terminal_state = BEING_RESTORED;
    const int status = tcsetattr(STDIN_FILENO, action, &saved);
    terminal_state = AS_FOUND;
    return status;
}

void restoreTerminalOnSignals() {
    for (const int signal_number : ENDING_SIGNALS) {
        handle(signal_number, restoreTerminalAndDie, SA_RESETHAND);
    }
    for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number) {
        handle(signal_number, restoreTerminalAndDie, SA_RESETHAND);
    }
    // SA_RESTART: after fg, a wait for a key or a word goes on where it was.
    handle(SIGTSTP, restoreTerminalAndStop, SA_RESTART);
    handle(SIGCONT, reapplyTerminal, SA_RESTART);
}
