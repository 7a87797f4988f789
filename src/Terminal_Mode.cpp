// Terminal_Mode.cpp: the terminal mode of the call in progress, changed only
// in the foreground, and the signal handlers that put it back before the
// process ends or stops, and set the call's own mode again when it is
// continued.
#include "Terminal_Mode.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace {

// Only the signal handlers read these: the mode found on entry to the call in
// progress, how the call changes it, the mode it set, and which of them the
// terminal has. The SIGCONT handler renews the first and the third.
termios attributes_to_restore{};
Mode_Change change_in_use = nullptr;
termios attributes_in_use{};

// While the call's mode is being put back, an ending or stopping signal must
// still put it back, but fg must not set it again, or it would stay for good.
enum Terminal_State : std::sig_atomic_t { AS_FOUND, CHANGED, BEING_RESTORED };
volatile std::sig_atomic_t terminal_state = AS_FOUND;

bool sameMode(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

void setTerminalFromHandler(const termios& attributes) {
    const int saved_errno = errno;
    if (terminal_state != AS_FOUND && terminalIsOurs()) {
        tcsetattr(STDIN_FILENO, TCSANOW, &attributes);
    }
    errno = saved_errno;
}

// GCOVR_EXCL_START: only a process that the signal then ends runs this, and
// gcov writes no counts for such a process.
extern "C" void restoreTerminalAndDie(int signal_number) {
    setTerminalFromHandler(attributes_to_restore);
    // The handler was installed with SA_RESETHAND, so the re-raised signal
    // takes its default action (a core dump, for a fault, where the system
    // makes one) as soon as this handler returns.
    raise(signal_number);
}
// GCOVR_EXCL_STOP

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

// After fg the terminal has the mode the shell gives its foreground job, which
// is the one to put back; it still has the call's own mode only where nobody
// changed it meanwhile (a plain SIGSTOP and SIGCONT), and then what was found
// stays.
extern "C" void reapplyTerminal(int /*signal_number*/) {
    const int saved_errno = errno;
    termios now{};
    if (terminal_state == CHANGED && terminalIsOurs() && tcgetattr(STDIN_FILENO, &now) == 0) {
        if (!sameMode(now, attributes_in_use)) {
            attributes_to_restore = now;
            attributes_in_use = change_in_use(now);
        }
        tcsetattr(STDIN_FILENO, TCSANOW, &attributes_in_use);
    }
    errno = saved_errno;
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

extern "C" void refuseBackgroundChange(int /*signal_number*/) {}

// A copy can be moved to the background between the look at the foreground
// and the change itself (Ctrl-Z and bg, or SIGSTOP, in between). There the
// system refuses the change, since a caught SIGTTOU interrupts the call: the
// copy neither stops nor changes the mode of the job now in the foreground,
// even where SIGTTOU was ignored, which would let the change through.
int setTerminalOnlyInForeground(int action, const termios& attributes) {
    struct sigaction refuse {};
    refuse.sa_handler = refuseBackgroundChange;
    sigemptyset(&refuse.sa_mask);
    struct sigaction previous {};
    sigaction(SIGTTOU, &refuse, &previous);
    const int status = tcsetattr(STDIN_FILENO, action, &attributes);
    const int saved_errno = errno;
    sigaction(SIGTTOU, &previous, nullptr);
    errno = saved_errno;
    return status;
}

}  // namespace

bool terminalIsOurs() {
    const pid_t foreground = tcgetpgrp(STDIN_FILENO);
    if (foreground == -1) return errno == ENOTTY;
    return foreground == getpgrp();
}

int changeTerminal(const termios& found, Mode_Change change, int action) {
    if (!terminalIsOurs()) return -1;
    attributes_to_restore = found;
    change_in_use = change;
    attributes_in_use = change(found);
    // The handlers must see the records before the flag that lets them act.
    std::atomic_signal_fence(std::memory_order_seq_cst);
    terminal_state = CHANGED;
    const int status = setTerminalOnlyInForeground(action, attributes_in_use);
    if (status != 0) terminal_state = AS_FOUND;
    return status;
}

int restoreTerminal(int action) {
    // Until the mode is back, a signal at any moment still finds something to
    // put back; no signal is held, so a copy that the terminal stops in this
    // very call, in the background, still ends on one. From here on the
    // SIGCONT handler leaves the record alone.
    terminal_state = BEING_RESTORED;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    const int status =
        terminalIsOurs() ? setTerminalOnlyInForeground(action, attributes_to_restore) : 0;
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
