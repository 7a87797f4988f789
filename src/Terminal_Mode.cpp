// Terminal_Mode.cpp: the terminal mode of the call in progress, changed only
// in the foreground, and the signal handlers that put it back before the
// process ends or stops, and set the call's own mode again when it goes on.
#include "Terminal_Mode.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace {

// The mode found on entry to the call in progress, how the call changes it,
// the mode it set, and which of them the terminal has: restoreTerminal and
// the signal handlers read these, and the SIGCONT handler renews the first
// and the third.
termios attributes_to_restore{};
Mode_Change change_in_use = nullptr;
termios attributes_in_use{};

// While the call's mode is being put back, an ending or stopping signal must
// still put it back, but fg must not set it again, or it would stay for good.
enum Terminal_State : std::sig_atomic_t { AS_FOUND, CHANGED, BEING_RESTORED };
volatile std::sig_atomic_t terminal_state = AS_FOUND;

// Whether the copy was in the terminal's foreground when it last looked, or
// last changed the mode (which the system then allows only there). Only a
// stop and a continue move a running copy out of the foreground, and every
// continue brings SIGCONT, whose handler forgets what was seen; so a pass
// need not ask again. NO_JOB_CONTROL: standard input is no controlling
// terminal of ours (a file, or a terminal under setsid), and never becomes
// one.
enum Job_Control : std::sig_atomic_t { UNKNOWN, FOREGROUND, NO_JOB_CONTROL };
volatile std::sig_atomic_t job_control = UNKNOWN;

// A process's group can change after exec only by its own hand, and the
// copy never changes it.
pid_t own_process_group = 0;

// Set for the span of the copy's own tcsetattr, so that the SIGTTOU the
// system raises for a change from the background refuses the change.
volatile std::sig_atomic_t setting_terminal = 0;
bool sigttou_ignored_at_start = false;
struct sigaction sigttou_outside_changes {};

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

// After fg the terminal has the mode the shell gives its foreground job, which
// is the one to put back; it still has the call's own mode only where nobody
// changed it meanwhile (a plain SIGSTOP and SIGCONT), and then what was found
// stays.
void setCallModeAgain() {
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

// SIGTSTP, SIGTTIN and SIGTTOU: the mode goes back, then the copy stops by
// that same signal, so the shell reports it as usual ("Stopped (tty
// input)" for a read in the background); execution goes on here after fg or
// bg.
extern "C" void restoreTerminalAndStop(int signal_number) {
    const int saved_errno = errno;
    setTerminalFromHandler(attributes_to_restore);
    struct sigaction default_action {};
    default_action.sa_handler = SIG_DFL;
    struct sigaction stop_handler {};
    sigaction(signal_number, &default_action, &stop_handler);
    sigset_t stopping;
    sigemptyset(&stopping);
    sigaddset(&stopping, signal_number);
    sigprocmask(SIG_UNBLOCK, &stopping, nullptr);
    raise(signal_number);
    sigaction(signal_number, &stop_handler, nullptr);
    // Where no shell can continue the copy (its process group is orphaned,
    // as for a session leader under tmux, xterm -e or ssh -t), the system
    // drops the stop and no SIGCONT comes: the call's mode is set again here.
    setCallModeAgain();
    errno = saved_errno;
}

extern "C" void reapplyTerminal(int /*signal_number*/) {
    if (job_control == FOREGROUND) job_control = UNKNOWN;  // bg, or fg: look again
    setCallModeAgain();
}

// A SIGTTOU while the copy changes the terminal comes from the system
// refusing a change from the background: the change fails with EINTR, and the
// copy neither stops nor changes the mode of the job now in the foreground.
// Any other SIGTTOU then (kill -TTOU) does what it does at any other time.
extern "C" void refuseBackgroundChange(int signal_number) {
    if (setting_terminal == 0 && !sigttou_ignored_at_start) restoreTerminalAndStop(signal_number);
}

// Every signal whose default action ends the process, but SIGKILL, which
// cannot be caught; the real-time signals are added to these.
constexpr int ENDING_SIGNALS[] = {SIGHUP,  SIGINT,  SIGQUIT,   SIGILL,  SIGTRAP, SIGABRT,
                                  SIGBUS,  SIGFPE,  SIGUSR1,   SIGSEGV, SIGUSR2, SIGPIPE,
                                  SIGALRM, SIGTERM, SIGSTKFLT, SIGXCPU, SIGXFSZ, SIGVTALRM,
                                  SIGPROF, SIGIO,   SIGPWR,    SIGSYS};
constexpr int STOPPING_SIGNALS[] = {SIGTSTP, SIGTTIN, SIGTTOU};

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

// Whether the copy may change the terminal now, asking the system only when
// it has not seen since the last continue.
bool mayChangeTerminal() {
    if (job_control != UNKNOWN) return true;
    const pid_t foreground = tcgetpgrp(STDIN_FILENO);
    if (foreground == -1 && errno == ENOTTY) job_control = NO_JOB_CONTROL;
    if (foreground == own_process_group) job_control = FOREGROUND;
    return job_control != UNKNOWN;
}

// The refusal, without SA_RESTART, replaces SIGTTOU's disposition from a
// change of the terminal until the mode is back: one swap each way a call.
// It is not kept for good, since a write refused the same way (in the
// background, under stty tostop) must wait, not fail.
bool refusing_background_changes = false;

void beginRefusingBackgroundChanges() {
    if (job_control == NO_JOB_CONTROL) return;  // no job control, no SIGTTOU
    struct sigaction refuse {};
    refuse.sa_handler = refuseBackgroundChange;
    sigemptyset(&refuse.sa_mask);
    sigaction(SIGTTOU, &refuse, &sigttou_outside_changes);
    refusing_background_changes = true;
}

void endRefusingBackgroundChanges() {
    if (!refusing_background_changes) return;
    sigaction(SIGTTOU, &sigttou_outside_changes, nullptr);
    refusing_background_changes = false;
}

int setTerminal(int action, const termios& attributes) {
    setting_terminal = 1;
    const int status = tcsetattr(STDIN_FILENO, action, &attributes);
    const int saved_errno = errno;
    setting_terminal = 0;
    // Refused or failed: the foreground is asked again next time.
    if (status != 0 && job_control == FOREGROUND) job_control = UNKNOWN;
    errno = saved_errno;
    return status;
}

}  // namespace

bool terminalIsOurs() {
    const pid_t foreground = tcgetpgrp(STDIN_FILENO);
    if (foreground == -1) return errno == ENOTTY;
    return foreground == own_process_group;
}

int changeTerminal(const termios& found, Mode_Change change, int action) {
    if (!mayChangeTerminal()) return -1;
    attributes_to_restore = found;
    change_in_use = change;
    attributes_in_use = change(found);
    // The handlers must see the records before the flag that lets them act.
    std::atomic_signal_fence(std::memory_order_seq_cst);
    beginRefusingBackgroundChanges();
    terminal_state = CHANGED;
    const int status = setTerminal(action, attributes_in_use);
    if (status != 0) {
        terminal_state = AS_FOUND;
        endRefusingBackgroundChanges();
    }
    return status;
}

int restoreTerminal(int action) {
    // Until the mode is back, a signal at any moment still finds something to
    // put back; no signal is held, so a copy that the terminal stops in this
    // very call, in the background, still ends on one. From here on the
    // SIGCONT handler leaves the record alone.
    terminal_state = BEING_RESTORED;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    // Moved to the background meanwhile, the copy had the mode put back
    // before it stopped.
    const int status = mayChangeTerminal() ? setTerminal(action, attributes_to_restore) : 0;
    terminal_state = AS_FOUND;
    endRefusingBackgroundChanges();
    return status;
}

void restoreTerminalOnSignals() {
    own_process_group = getpgrp();
    for (const int signal_number : ENDING_SIGNALS) {
        handle(signal_number, restoreTerminalAndDie, SA_RESETHAND);
    }
    for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number) {
        handle(signal_number, restoreTerminalAndDie, SA_RESETHAND);
    }
    struct sigaction sigttou {};
    sigaction(SIGTTOU, nullptr, &sigttou);
    sigttou_ignored_at_start = sigttou.sa_handler == SIG_IGN;
    // SA_RESTART: after fg, a read for a key or a word goes on where it was.
    // (Linux restarts no poll(): the idle wait ends, and the loop goes round.)
    for (const int signal_number : STOPPING_SIGNALS) {
        handle(signal_number, restoreTerminalAndStop, SA_RESTART);
    }
    handle(SIGCONT, reapplyTerminal, SA_RESTART);
}
