"""The console as a person uses it: opening the prompt, the commands, end of
input, and signals while the program waits for a key."""

import fcntl
import os
import random
import re
import shlex
import signal
import subprocess
import sys
import termios
import time

import pexpect
import pytest

from conftest import (READY, command_for, failing, free_port, port_is_free, shown, start_redirected,
                      skip_under_emulator, variant_of, wait_for, wait_for_key_wait, with_shim)

F_SETPIPE_SZ = 1031  # fcntl's number for it on Linux

HELP = ("\r\n Help:\r\n"
        "\tshow_dest_info - displays current destination IP address and port number\r\n"
        "\t          send - send data packet to destination IP address at selected port\r\n"
        "\t          exit - quit program, but don't force other client to quit too\r\n"
        "\t          help - display this message\r\n\r\n")


def test_key_rule_for_opening_the_prompt(binary, spawn):
    copy = spawn(binary, free_port(), free_port())
    copy.open_prompt()  # Enter twice
    copy.child.send("help\r")
    copy.expect(HELP)

    # Any key then Enter opens it too.
    copy.child.send("x")
    copy.wait_for_key_wait()
    copy.child.send("\r")
    copy.expect("\r\n$ ")
    copy.child.send("help\r")
    copy.expect(HELP)

    # Enter then another key does not.
    copy.child.send("\r")
    copy.wait_for_key_wait()
    copy.child.send("y")
    assert copy.absent("$ ", within=0.5)

    copy.exit_normally()


def test_show_dest_info_shows_the_texts_as_typed(binary, spawn):
    copy = spawn(binary, "04556", free_port())
    copy.command("show_dest_info")
    copy.expect("\r\nSending packets to 127.0.0.1 on port 04556\r\n")
    copy.exit_normally()


def test_unknown_and_wrongly_cased_words_do_nothing(binary, spawn, peer):
    copy = spawn(binary, peer.port, free_port())
    for word in ("Send", "EXIT", "quit", "bogus"):
        copy.command(word)
    assert peer.nothing_waiting()
    copy.command("help")
    copy.expect(HELP)
    copy.exit_normally()


def test_words_after_a_command_are_read_but_the_rest_of_a_message_line_is_dropped(
        binary, spawn, peer):
    copy = spawn(binary, peer.port, free_port())
    copy.command("send hello exit")  # " > " takes "hello" without waiting
    copy.expect(" > ")
    copy.expect("Sending...")
    assert peer.receive()[2].startswith(b"hello")
    copy.command("help")  # "exit" was dropped with its line: the copy still runs
    copy.expect(HELP)
    copy.exit_normally()


def test_exit_ends_this_copy_alone(binary, spawn, peer):
    copy = spawn(binary, peer.port, free_port())
    copy.command("exit")
    copy.expect("\r\nTerminating program normally...\r\n")
    copy.finish()
    assert copy.child.exitstatus == 0
    assert peer.nothing_waiting()


def peak_resident_kb(pid):
    with open(f"/proc/{pid}/status") as status:
        return next(int(line.split()[1]) for line in status if line.startswith("VmHWM:"))


def test_an_endless_word_is_cut_and_read_in_bounded_memory(binary, spawn, peer):
    """8 MB of one word at the message prompt (a terminal takes 4095 bytes a
    line, so each piece ends with Ctrl-D, which hands it over as it is): the
    copy keeps the first 4096 bytes, its memory stays flat, and it goes on."""
    copy = spawn(binary, peer.port, free_port())
    copy.command("send")
    copy.expect(" > ")
    peak = peak_resident_kb(copy.child.pid)
    piece = b"w" * 4000 + b"\x04"
    copy.child.delaybeforesend = None
    for _ in range(2000):
        copy.child.send(piece)
        copy.read_some(timeout=0)  # the echo must not fill the terminal
    copy.child.send("\r")
    if variant_of(binary) == "i386":
        copy.expect("Not sent: the message is 4096 bytes long; a text may be at most 511 bytes.")
    else:
        copy.expect("Sending...")
        assert peer.receive()[2] == b"w" * 9
    assert peak_resident_kb(copy.child.pid) - peak < 2048
    copy.exit_normally()


@pytest.mark.parametrize("where", ["command", "message"])
def test_end_of_input_at_a_prompt_ends_like_exit(binary, spawn, peer, where):
    copy = spawn(binary, peer.port, free_port())
    copy.send_message("once")
    assert len(peer.receive()) == 3
    if where == "command":
        copy.open_prompt()
    else:
        copy.command("send")
        copy.expect(" > ")
    copy.child.sendeof()
    copy.expect("\r\nTerminating program normally...\r\n")
    output = copy.finish()
    assert copy.child.exitstatus == 0
    assert b"Sending..." not in output
    assert peer.nothing_waiting()  # the last message is not sent again


# Every signal that ends a process by default; the faults and a real-time
# signal among them.
ENDING = [("ctrl-c", "after-one-key"), ("SIGTERM", "after-one-key"), ("SIGHUP", "after-one-key"),
          ("SIGQUIT", "after-one-key"), ("ctrl-c", "idle"), ("SIGUSR1", "idle"),
          ("SIGALRM", "idle"), ("SIGXFSZ", "idle"), ("SIGPIPE", "idle"), ("SIGSEGV", "idle"),
          ("SIGABRT", "after-one-key"), ("SIGRTMIN", "idle")]


@pytest.mark.parametrize("how, state", ENDING)
def test_signal_while_waiting_restores_the_terminal(binary, spawn, how, state):
    if how == "SIGRTMIN":
        skip_under_emulator(binary, "real-time signals reach the program renumbered, two lower")
    if how == "SIGABRT":
        skip_under_emulator(binary, "SIGABRT is the emulator's own (qemu 10 and later)")
    # Python leaves SIGPIPE and SIGXFSZ ignored, and so would the copy; a
    # sanitizer's own fault handlers would report instead.
    copy = spawn(binary, free_port(), free_port(), script='exec env --default-signal "$0" "$@"',
                 env={"ASAN_OPTIONS": "handle_segv=0:handle_abort=0"})
    if state == "idle":
        # The idle wait leaves line mode so that one key wakes it.
        assert wait_for(lambda: not copy.lflag() & termios.ICANON), "no idle wait in byte mode"
    else:
        copy.child.send("\r")
        copy.wait_for_key_wait()
    number = signal.SIGINT if how == "ctrl-c" else getattr(signal, how)
    if how == "ctrl-c":
        copy.child.sendintr()
    else:
        os.kill(copy.child.pid, number)
    copy.finish()
    assert copy.child.signalstatus == number
    assert copy.final_lflag & termios.ICANON, "line editing left off"
    assert copy.final_lflag & termios.ECHO, "echo left off"


# SDL_net gives no address for the listen socket, so its descriptor is not
# found and the idle wait cannot watch socket and keyboard together.
NO_DESCRIPTOR = "SDLNet_UDP_GetPeerAddress:1"


def test_the_fallback_wait_still_opens_the_prompt_and_shows_datagrams(binary, spawn, peer):
    """It polls the keyboard and waits on the socket a short while in turn."""
    copy = spawn(binary, peer.port, free_port(), env=failing(binary, NO_DESCRIPTOR))
    peer.send([b"a\0", b"b\0", b"while-polling\0"], int(copy.args[3]))
    copy.expect("\t MSG: while-polling\r\n", timeout=1)
    copy.send_message("fallback")
    assert peer.receive()[2].startswith(b"fallback")
    copy.exit_normally()


@pytest.mark.parametrize("how, state", [("sighup-ignored", "idle"), ("setsid", "after-one-key"),
                                        ("sighup-ignored", "fallback-wait")])
def test_a_hung_up_terminal_ends_the_copy(binary, tmp_path, how, state):
    """The window closes while SIGHUP is ignored (output to a file, as under
    nohup), or while the terminal is not the copy's controlling one, or while
    the copy waits the fallback way: it ends at once, as at the end of input,
    and frees its port."""
    log, listen = tmp_path / "out", free_port()
    # Only the program loads the failure library, not the shell before it.
    preload = "".join(f"{name}={shlex.quote(value)} " for name, value in
                      (failing(binary, NO_DESCRIPTOR) if state == "fallback-wait" else {}).items())
    script = (f"trap '' HUP; {preload}exec \"$0\" \"$@\" > {log}" if how == "sighup-ignored"
              else 'exec setsid -w "$0" "$@"')
    child = pexpect.spawn("/bin/sh", ["-c", script, *command_for(binary), "127.0.0.1",
                                      str(free_port()), "127.0.0.1", str(listen)],
                          env=dict(os.environ, TERM="xterm"))
    try:
        if variant_of(binary) == "i386":
            child.send("y\r")
        assert wait_for(lambda: not port_is_free(listen), timeout=10)
        tty = os.open(os.readlink(f"/proc/{child.pid}/fd/0"), os.O_RDWR | os.O_NOCTTY)
        if state == "after-one-key":
            child.send("x")
            wait_for_key_wait(tty)
        elif state == "idle":
            assert wait_for(lambda: not termios.tcgetattr(tty)[3] & termios.ICANON)
        os.close(tty)
        with open(os.devnull, "rb") as nothing:
            os.dup2(nothing.fileno(), child.child_fd)  # the last handle on the window
        assert wait_for(lambda: port_is_free(listen), timeout=3), "the copy stayed"
        child.wait()
        if how == "sighup-ignored":
            assert child.exitstatus == 0
            assert log.read_text().endswith("Exiting SDLNet and terminating server...Done!\n")
    finally:
        child.terminate(force=True)


def test_non_blocking_input_is_waited_for(binary, spawn, peer):
    """Another program left the terminal O_NONBLOCK: the question, the key wait
    and the prompts still wait, and the flag the caller shares stays."""
    set_non_blocking = ("python3 -c 'import fcntl, os; "
                        "fcntl.fcntl(0, fcntl.F_SETFL, fcntl.fcntl(0, fcntl.F_GETFL) | os.O_NONBLOCK)';")
    copy = spawn(binary, peer.port, free_port(), shell_setup=set_non_blocking, answer=None,
                 wait_ready=False)
    if variant_of(binary) == "i386":
        assert copy.absent("Initializing SDL_net", within=0.5), "the question answered itself"
        copy.child.send("y\r")
    copy.expect(READY)
    copy.send_message("waited")
    assert peer.receive()[2].startswith(b"waited")
    with open(f"/proc/{copy.child.pid}/fdinfo/0") as info:
        flags = int(info.read().split("flags:")[1].split()[0], 8)
    assert flags & os.O_NONBLOCK
    copy.exit_normally()


def test_sigterm_under_traffic_restores_the_terminal(binary, spawn, peer):
    """The signal lands at any moment: in kbhit, getch, the idle wait, a
    receive or between them; every time the terminal gets its line mode back."""
    for round_number in range(10):
        copy = spawn(binary, free_port(), free_port())
        if round_number % 2:
            copy.child.send("x")  # from now on it waits in getch
        for _ in range(random.randrange(20, 200)):
            peer.send([b"a\0", b"b\0", b"c\0"], int(copy.args[3]))
        os.kill(copy.child.pid, signal.SIGTERM)
        copy.finish()
        assert copy.child.signalstatus == signal.SIGTERM
        assert copy.final_lflag & termios.ICANON, "line editing left off"
        assert copy.final_lflag & termios.ECHO, "echo left off"


def test_sigterm_restores_a_terminal_that_is_not_the_controlling_one(binary, spawn):
    # Under setsid the copy's standard input is a terminal, but not its
    # controlling one: no job control applies, and the terminal is its alone.
    copy = spawn(binary, free_port(), free_port(), script='exec setsid -w "$0" "$@"')
    assert wait_for(lambda: not copy.lflag() & termios.ICANON), "no idle wait in byte mode"
    os.kill(child_of(copy.child.pid), signal.SIGTERM)
    copy.finish()
    assert copy.final_lflag & termios.ICANON, "line editing left off"
    assert copy.final_lflag & termios.ECHO, "echo left off"


@pytest.mark.parametrize("state, stop", [("idle", "ctrl-z"), ("after-one-key", "ctrl-z"),
                                         ("at-a-prompt", "ctrl-z"), ("idle", "SIGTTIN"),
                                         ("after-one-key", "SIGTTOU")])
def test_a_stop_and_fg_under_a_shell_that_does_not_repair_the_terminal(binary, spawn, peer, state,
                                                                       stop):
    # dash, unlike bash, leaves the terminal as a stopped job left it.
    copy = spawn(binary, free_port(), free_port(), script='set -m; "$0" "$@"; stty -a; fg')
    if state == "after-one-key":
        copy.child.send("x")
        copy.wait_for_key_wait()
    elif state == "at-a-prompt":
        copy.open_prompt()
    if stop == "ctrl-z":
        copy.child.sendcontrol("z")
    else:  # as kill -TTIN %1 stops it
        os.kill(child_of(copy.child.pid), getattr(signal, stop))
    copy.expect("-extproc")  # the end of what stty -a prints while the copy is stopped
    modes = copy.child.before.split()
    assert b"icanon" in modes and b"echo" in modes, "the terminal was left without line mode"

    if state == "idle":
        copy.child.send("x")
    if state != "at-a-prompt":  # there it reads on at the same prompt
        copy.wait_for_key_wait()  # after fg the copy waits for its key again
        copy.child.send("\r")
        copy.expect("\r\n$ ")
    copy.child.send("help\r")
    copy.expect(HELP)
    peer.send([b"a\0", b"b\0", b"after-fg\0"], int(copy.args[3]))
    copy.expect("\t MSG: after-fg\r\n")
    copy.exit_normally()


@pytest.mark.parametrize("state", ["idle", "after-one-key", "at-a-prompt"])
def test_a_stop_the_system_drops_leaves_the_wait_as_it_was(binary, spawn, state):
    """pexpect makes the copy a session leader, as tmux, xterm -e and ssh -t
    do: no shell can continue its process group, so the system drops Ctrl-Z,
    and no SIGCONT comes to set the wait's mode again."""
    copy = spawn(binary, free_port(), free_port())
    if state == "after-one-key":
        copy.child.send("x")
        copy.wait_for_key_wait()
    elif state == "at-a-prompt":
        copy.open_prompt()
    copy.child.sendcontrol("z")
    time.sleep(0.3)  # long enough for the copy to stop, were it able to
    assert process_state(copy.child.pid) != "T"
    if state == "after-one-key":
        assert not copy.lflag() & termios.ECHO, "keys now echo"
    elif state == "idle":
        assert not copy.lflag() & termios.ICANON, "the idle wait went back to line mode"
        copy.child.send("x")
        copy.wait_for_key_wait()
    if state != "at-a-prompt":
        copy.child.send("\r")  # one Enter after the first key
        copy.expect("\r\n$ ")
    copy.child.send("help\r")
    copy.expect(HELP)
    copy.exit_normally()


@pytest.mark.parametrize("state", ["after-one-key", "at-a-prompt"])
def test_bg_during_a_wait_for_the_terminal_stops_the_copy_until_fg(binary, spawn, peer, state):
    """As any program that reads its terminal: "Stopped (tty input)", with the
    terminal as the shell has it; after fg it goes on where it was and shows
    what arrived meanwhile."""
    copy = spawn(binary, free_port(), free_port(),
                 script='set -m; "$0" "$@"; bg; printf pid=; jobs -p; read go; fg')
    if state == "after-one-key":
        copy.child.send("x")
        copy.wait_for_key_wait()
    else:
        copy.open_prompt()
    copy.child.sendcontrol("z")
    copy.child.expect(rb"pid=(\d+)")
    pid = int(copy.child.match.group(1))
    assert wait_for(lambda: process_state(pid) == "T"), "the copy read on in the background"
    assert wait_for(lambda: copy.lflag() & termios.ICANON and copy.lflag() & termios.ECHO)
    peer.send([b"a\0", b"b\0", b"while-stopped\0"], int(copy.args[3]))
    assert copy.absent("while-stopped", within=0.3)
    copy.child.send("\r")  # the shell's read: now fg
    if state == "after-one-key":
        copy.wait_for_key_wait()
        copy.child.send("\r")
        copy.expect("\r\n$ ")
    copy.child.send("help\r")
    copy.expect(HELP)
    copy.expect("\t MSG: while-stopped\r\n")
    copy.exit_normally()


@pytest.mark.parametrize("moment, how", [("start-up", "SIGINT"), ("start-up", "SIGQUIT"),
                                         ("start-up", "ctrl-c"), ("quit-received", "ctrl-c")])
def test_an_interrupt_while_the_screen_is_cleared_ends_the_copy_right_after(binary, peer,
                                                                          tmp_path, moment, how):
    """system() ignores SIGINT and SIGQUIT while "clear" runs: one that comes
    then, sent to the copy alone or typed, must still end it."""
    if moment == "quit-received" and variant_of(binary) != "i386":
        pytest.skip("only the 32-bit build clears the screen on quit")
    slow_clear = tmp_path / "clear"
    slow_clear.write_text("#!/bin/sh\nprintf 'CLEARING\\n'\nsleep 1\n")
    slow_clear.chmod(0o755)
    listen = free_port()
    # A suite started in the background without job control would hand the
    # copy SIGINT and SIGQUIT ignored, and ignored they would stay.
    child = pexpect.spawn("env", ["--default-signal", *command_for(binary), "127.0.0.1",
                                  str(free_port()), "127.0.0.1", str(listen)], timeout=10,
                          env=dict(os.environ, TERM="xterm",
                                   PATH=f"{tmp_path}:{os.environ['PATH']}"))
    tty = os.open(os.readlink(f"/proc/{child.pid}/fd/0"), os.O_RDWR | os.O_NOCTTY)
    try:
        if variant_of(binary) == "i386":
            child.expect_exact("Is this correct? [Y/n] ")
            child.send("y\r")
        if moment == "quit-received":
            child.expect_exact(READY)
            peer.send([b"a\0", b"b\0", b"quit\0"], listen)
        child.expect_exact("CLEARING")
        if how == "ctrl-c":
            child.sendintr()
        else:
            os.kill(child.pid, getattr(signal, how))
        assert wait_for(lambda: not child.isalive(), timeout=5), "the copy went on"
        lflag = termios.tcgetattr(tty)[3]
        assert lflag & termios.ICANON and lflag & termios.ECHO
        os.close(tty)
        tty = None
        child.expect(pexpect.EOF)
        assert child.signalstatus == (signal.SIGQUIT if how == "SIGQUIT" else signal.SIGINT)
        assert b"SDL_net" not in child.before and b"Server recieved" not in child.before
        assert port_is_free(listen)
    finally:
        if tty is not None:
            os.close(tty)
        child.terminate(force=True)


def test_sigstop_and_sigcont_mid_key_keep_the_mode_found(binary, spawn):
    """Nobody changes the terminal between them: after SIGCONT the copy still
    waits for its key, and it then puts back the mode it found, not its own."""
    copy = spawn(binary, free_port(), free_port())
    copy.child.send("x")
    copy.wait_for_key_wait()
    os.kill(copy.child.pid, signal.SIGSTOP)
    assert wait_for(lambda: process_state(copy.child.pid) == "T")
    os.kill(copy.child.pid, signal.SIGCONT)
    copy.wait_for_key_wait()
    copy.child.send("\r")
    copy.expect("\r\n$ ")
    copy.child.send("exit\r")
    copy.finish()
    assert copy.final_lflag & termios.ICANON and copy.final_lflag & termios.ECHO


class Interactive_Bash:
    """An interactive bash with readline on, as a person types into it: its
    line editing puts the terminal into a mode of its own while it reads."""

    PROMPT = "bash-ready> "

    def __init__(self, binary):
        self.binary = binary
        self.child = pexpect.spawn("bash", ["--norc", "--noprofile", "-i"], timeout=10,
                                   env=dict(os.environ, TERM="xterm", PS1=self.PROMPT),
                                   dimensions=(50, 200))
        self.tty = os.open(os.readlink(f"/proc/{self.child.pid}/fd/0"), os.O_RDWR | os.O_NOCTTY)
        self.child.expect_exact(self.PROMPT)

    def run(self, line):
        self.child.sendline(line)
        self.child.expect_exact(self.PROMPT)
        return self.child.before

    def modes(self):
        """The terminal's mode as the shell has it between commands."""
        return re.search(rb"[0-9a-f]+(?::[0-9a-f]+){20,}", self.run("stty -g")).group(0)

    def start_copy(self, suffix=""):
        listen = free_port()
        args = " ".join([*command_for(self.binary), "127.0.0.1", str(free_port()), "127.0.0.1",
                         str(listen)])
        self.child.sendline(f"{args}{suffix}")
        return listen

    def answer_if_asked(self, asked=False):
        if variant_of(self.binary) == "i386":
            if not asked:
                self.child.expect_exact("Is this correct? [Y/n] ")
            self.child.send("y\r")
        self.child.expect_exact(READY)

    def lflag(self):
        return termios.tcgetattr(self.tty)[3]

    def exit_copy(self):
        self.child.send("\r")
        wait_for_key_wait(self.tty)
        self.child.send("\r")
        self.child.expect_exact("\r\n$ ")
        self.child.send("exit\r")
        self.child.expect_exact("Terminating program normally...")
        self.child.expect_exact(self.PROMPT)

    def close(self):
        os.close(self.tty)
        self.child.terminate(force=True)


def test_a_copy_started_with_ampersand_works_after_fg_and_gives_the_shell_its_terminal(binary):
    bash = Interactive_Bash(binary)
    try:
        modes = bash.modes()
        bash.start_copy(" &")
        bash.child.expect_exact(bash.PROMPT)
        asked = variant_of(binary) == "i386"
        if asked:  # its question stops it in the background
            bash.child.expect_exact("Is this correct? [Y/n] ")
        bash.child.sendline("fg")
        bash.answer_if_asked(asked)
        for _ in range(2):  # Enter Enter, which bash's own mode would turn into CR
            assert wait_for(lambda: not bash.lflag() & termios.ICANON), "no key wait"
            bash.child.send("\r")
        bash.child.expect_exact("\r\n$ ")
        bash.child.send("help\r")
        bash.child.expect_exact("help\r\n")
        assert bash.child.before == b"", "what was typed at the prompt was not echoed"
        bash.child.expect_exact("display this message")
        bash.exit_copy()
        assert bash.modes() == modes
    finally:
        bash.close()


def test_a_copy_in_the_background_never_changes_the_terminal_even_with_sigttou_ignored(
        binary, peer):
    bash = Interactive_Bash(binary)
    try:
        bash.run("trap '' TTOU")
        listen = bash.start_copy()
        bash.answer_if_asked()
        bash.child.sendcontrol("z")
        bash.child.expect_exact(bash.PROMPT)
        bash.run("bg")
        bash.child.sendline("cat")  # the foreground job, in line mode with echo
        assert wait_for(lambda: bash.lflag() & termios.ICANON)
        for n in range(20):  # the copy wakes and goes round its loop
            peer.send([b"a\0", b"b\0", b"bg%d\0" % n], listen)
            bash.child.expect_exact(f"\t MSG: bg{n}\r\n")
            assert bash.lflag() & termios.ICANON and bash.lflag() & termios.ECHO
        bash.child.sendeof()
        bash.child.expect_exact(bash.PROMPT)
        bash.child.sendline("fg")
        bash.exit_copy()
    finally:
        bash.close()


# A stop can land between the copy's look at the foreground and its change of
# the mode; after bg, the change must neither stop it nor go through.
@pytest.mark.parametrize("stop", ["ctrl-z", "between-check-and-change"])
def test_kill_ends_a_copy_stopped_in_the_background(binary, spawn, stop):
    between = stop == "between-check-and-change"
    settings = with_shim(binary, {"QUENNIMARD_STOP_AT_FOREGROUND_CHECK": "1"}) if between else {}
    copy = spawn(binary, free_port(), free_port(),
                 script=f'set -m; {shlex.join(f"{k}={v}" for k, v in settings.items())} '
                        '"$0" "$@"; bg; printf pid=; jobs -p; sleep 60')
    if not between:
        copy.child.sendcontrol("z")
    copy.child.expect(rb"pid=(\d+)")
    pid = int(copy.child.match.group(1))
    # In the background it leaves the terminal alone, so nothing stops it.
    assert not wait_for(lambda: process_state(pid) == "T", timeout=0.5), "stopped by bg"
    os.kill(pid, signal.SIGTSTP)  # as "kill -TSTP %1"
    assert wait_for(lambda: process_state(pid) == "T"), "SIGTSTP did not stop the copy"

    # What an interactive shell's "kill %1" does to a stopped job.
    os.kill(pid, signal.SIGTERM)
    os.kill(pid, signal.SIGCONT)
    assert wait_for(lambda: process_state(pid) in ("Z", None)), "the copy did not end"
    assert wait_for(lambda: port_is_free(int(copy.args[3])))


def child_of(pid):
    with open(f"/proc/{pid}/task/{pid}/children") as children:
        [child] = children.read().split()
    return int(child)


def process_state(pid):
    try:
        with open(f"/proc/{pid}/stat") as stat:
            return stat.read().rsplit(")", 1)[1].split()[0]
    except (FileNotFoundError, ProcessLookupError):  # gone before or while it was read
        return None


def test_signal_ignored_at_start_stays_ignored(binary, spawn):
    copy = spawn(binary, free_port(), free_port(), shell_setup="trap '' TERM;")
    os.kill(copy.child.pid, signal.SIGTERM)
    copy.command("exit")  # still alive and answering
    copy.expect("\r\nTerminating program normally...\r\n")
    copy.finish()
    assert copy.child.exitstatus == 0


def test_output_to_a_file_arrives_line_by_line_and_survives_a_signal(binary, peer, tmp_path):
    log = tmp_path / "chat.log"
    log.touch()
    listen = free_port()
    argv = [*command_for(binary), "127.0.0.1", str(free_port()), "127.0.0.1", str(listen)]
    child = pexpect.spawn("/bin/sh", ["-c", f'exec "$0" "$@" > {log}', *argv],
                          env=dict(os.environ, TERM="xterm"))
    try:
        def wait_for_in_log(text):
            assert wait_for(lambda: text in log.read_text(), timeout=10), \
                f"{text!r} never reached the file"

        if variant_of(binary) == "i386":
            wait_for_in_log("Is this correct? [Y/n] ")
            child.send("y\r")
        wait_for_in_log(READY)
        peer.send([b"127.0.0.1", b"4556\0", b"kept\0"], listen)
        vector = shown(binary, 3, "127.0.0.1", "4556", "kept").replace("\r\n", "\n")
        wait_for_in_log(vector)  # while the copy still runs
        os.kill(child.pid, signal.SIGTERM)
        child.expect(pexpect.EOF)
        child.wait()
        assert child.signalstatus == signal.SIGTERM
        assert log.read_text().endswith(vector)
    finally:
        child.terminate(force=True)


@pytest.mark.parametrize("sigpipe", ["default", "ignored"])
def test_a_copy_ends_once_the_reader_of_its_output_is_gone(binary, peer, sigpipe):
    listen = free_port()
    child = start_redirected(binary, listen, subprocess.PIPE,
                             shell_setup="trap '' PIPE;" if sigpipe == "ignored" else "")
    try:
        output = b""
        while READY.encode() not in output:
            chunk = child.stdout.read1(4096)
            assert chunk, "the copy ended during set-up"
            output += chunk
        child.stdout.close()  # as "| head" does once it has its lines
        peer.send([b"a\0", b"b\0", b"unread\0"], listen)
        child.wait(timeout=5)
        if sigpipe == "default":
            assert child.returncode == -signal.SIGPIPE
        else:
            assert child.returncode == 1
            assert b"Cannot write to standard output" in child.stderr.read()
    finally:
        child.kill()
        child.wait()


def test_a_log_gets_no_escape_codes_and_no_complaint_from_clear(binary, peer, tmp_path):
    log = tmp_path / "chat.log"
    listen = free_port()
    env = {k: v for k, v in os.environ.items() if k != "TERM"}
    with open(log, "wb") as out:
        child = start_redirected(binary, listen, out, env=env)
        try:
            assert wait_for(lambda: READY in log.read_text(), timeout=10)
            peer.send([b"a\0", b"b\0", b"quit\0"], listen)
            child.wait(timeout=10)
            errors = child.stderr.read()
        finally:
            child.kill()
            child.wait()
    assert child.returncode == 0
    assert errors == b""
    text = log.read_bytes()
    assert b"Server recieved \"quit\" signal from client!" in text
    assert b"\x1b" not in text


# Reads its standard input until it has seen the text given, then leaves.
READER = ("import os, sys\ndata = b''\n"
          "while sys.argv[1].encode() not in data and (chunk := os.read(0, 65536)):\n"
          "    data += chunk")


@pytest.mark.parametrize("leaves", ["while-idle", "at-the-prompt"])
def test_a_reader_gone_under_ignored_sigpipe_ends_the_copy_before_it_reads_on(binary, peer,
                                                                           leaves):
    marker = READY + "\n\n" if leaves == "while-idle" else "\n$ "
    script = ("trap '' PIPE; { \"$0\" \"$@\"; echo status=$? >&2; } | "
              f"{{ {sys.executable} -c \"$READER\" '{marker}'; echo gone >&2; }}")
    argv = [*command_for(binary), "127.0.0.1", str(peer.port), "127.0.0.1", str(free_port())]
    child = pexpect.spawn("/bin/bash", ["-c", script, *argv], timeout=10,
                          env=dict(os.environ, TERM="xterm", READER=READER))
    tty = os.open(os.readlink(f"/proc/{child.pid}/fd/1"), os.O_RDWR | os.O_NOCTTY)
    try:
        if variant_of(binary) == "i386":
            child.send("y\r")
        if leaves == "while-idle":
            child.expect_exact("gone")
            child.send("\r")
            wait_for_key_wait(tty)
            child.send("\rsend\rhello\r")  # the failed "$ " must end it before it reads
        else:
            child.send("\r")
            wait_for_key_wait(tty)
            child.send("\r")
            child.expect_exact("gone")
            child.send("exit\r")  # its teardown then writes to no reader
        child.expect_exact("Cannot write to standard output (Broken pipe): ending.\r\nstatus=1")
        assert peer.nothing_waiting()
    finally:
        os.close(tty)
        child.terminate(force=True)


def test_what_arrives_while_output_is_stopped_waits_in_the_socket(binary, spawn, peer):
    """Ctrl-S stops the terminal's output, and with it the copy, which waits to
    write: the system holds what arrives meanwhile (120 vectors here, more
    than its default buffer takes), and Ctrl-Q shows it all."""
    copy = spawn(binary, free_port(), free_port())
    copy.child.sendcontrol("s")
    for n in range(120):
        peer.send([b"a\0", b"b\0", b"held%03d\0" % n], int(copy.args[3]))
        time.sleep(0.002)
    time.sleep(0.3)
    copy.child.sendcontrol("q")
    output = copy.read_until_quiet()
    missing = [n for n in range(120) if b"\t MSG: held%03d\r\n" % n not in output]
    assert not missing, f"{len(missing)} vectors lost"
    copy.exit_normally()


def test_a_full_output_is_waited_for_not_taken_for_a_gone_reader(binary, peer):
    read_end, write_end = os.pipe()
    fcntl.fcntl(write_end, F_SETPIPE_SZ, 4096)  # a few vectors fill it
    fcntl.fcntl(write_end, fcntl.F_SETFL, fcntl.fcntl(write_end, fcntl.F_GETFL) | os.O_NONBLOCK)
    listen = free_port()
    child = start_redirected(binary, listen, write_end)
    os.close(write_end)
    try:
        with os.fdopen(read_end, "rb") as output:
            shown_so_far = b""
            while READY.encode() not in shown_so_far:
                shown_so_far += output.read1(65536)
            messages = [b"m%02d" % i for i in range(60)]
            for message in messages:  # nobody reads: the copy must wait, not end
                peer.send([b"a\0", b"b\0", message + b"\0"], listen)
                time.sleep(0.002)
            time.sleep(0.5)
            assert child.poll() is None, child.stderr.read()
            peer.send([b"a\0", b"b\0", b"quit\0"], listen)
            shown_so_far += output.read()
        assert child.wait(timeout=10) == 0
        for message in messages:
            assert b"\t MSG: " + message + b"\n" in shown_so_far, message
    finally:
        child.kill()
        child.wait()
