"""Shared helpers for the end-to-end suite: each test runs the real program in
a pseudo-terminal and talks to it over UDP on 127.0.0.1 only."""

import os
import random
import re
import socket
import subprocess
import termios
import time

import pexpect
import pytest

SOURCE_ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
LOOPBACK = "127.0.0.1"
READY = "Allocating memory for recieving packets...Success!"
QUESTION = "Is this correct? [Y/n] "
USAGE = (b"\nInvalid syntax!\n\tquennimard <other_ip> <other_ip's_send_port>"
         b" <reply_ip> <listen_port>\n\n")


def project_version():
    """The version, from the one place it is written: debian/changelog."""
    with open(os.path.join(SOURCE_ROOT, "debian", "changelog")) as changelog:
        return re.match(r"quennimard \((\S+)\)", changelog.readline()).group(1)


def binaries():
    paths = os.environ.get("QUENNIMARD_BINARIES", "build/quennimard").split()
    return [os.path.abspath(p) for p in paths]


def i386_on_host():
    """The 32-bit deliverable's behaviour built for x86-64, if given: memory
    checkers that cannot run 32-bit programs here check that instead."""
    path = os.environ.get("QUENNIMARD_I386_ON_HOST")
    return os.path.abspath(path) if path else None


def is_32bit(path):
    with open(path, "rb") as elf:
        return elf.read(5)[4] == 1  # ELF class byte: 1 = 32-bit, 2 = 64-bit


def is_sanitized(path):
    with open(path, "rb") as elf:
        return b"__asan_init" in elf.read()


def is_coverage_build(path):
    with open(path, "rb") as elf:
        return b"__gcov_merge_add" in elf.read()


def variant_of(path):
    return "i386" if is_32bit(path) or path == i386_on_host() else "x86_64"


def label_of(path):
    """A test id that tells the builds apart."""
    return variant_of(path) + ("-on-x86_64" if path == i386_on_host() else "")


_native_32bit = None


def command_for(binary):
    """The argv prefix that runs a build: 32-bit programs go through
    qemu-i386 on machines whose kernel cannot run them itself, and wherever
    QUENNIMARD_EMULATE_I386 is set."""
    global _native_32bit
    if not is_32bit(binary):
        return [binary]
    if os.environ.get("QUENNIMARD_EMULATE_I386"):
        _native_32bit = False
    if _native_32bit is None:
        try:
            subprocess.run([binary], capture_output=True, timeout=10)
            _native_32bit = True
        except OSError:
            _native_32bit = False
    return [binary] if _native_32bit else ["qemu-i386", binary]


def emulated(binary):
    return command_for(binary)[0] == "qemu-i386"


def skip_under_emulator(binary, what):
    """Skips a case that qemu-i386 decides, not the program; the i386
    package's suite on a 32-bit kernel (scripts/i386-vm.sh) runs it."""
    if emulated(binary):
        pytest.skip(f"under qemu-i386 {what}; the 32-bit kernel in the VM runs this case")


@pytest.fixture(params=binaries(), ids=label_of)
def binary(request):
    return request.param


_handed_out = set()


def free_port():
    """A free port below the kernel's ephemeral range, never handed out twice:
    a socket that asks the system for a port (such as a copy's own sending
    socket) could otherwise take it before the copy listens there."""
    with open("/proc/sys/net/ipv4/ip_local_port_range") as ephemeral:
        lowest_ephemeral = int(ephemeral.read().split()[0])
    highest = lowest_ephemeral if lowest_ephemeral > 11000 else 65536
    while True:
        port = random.randrange(10000, highest)
        if port not in _handed_out and port_is_free(port):
            _handed_out.add(port)
            return port


def port_is_free(port):
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        try:
            probe.bind(("0.0.0.0", port))
            return True
        except OSError:
            return False


def skip_unless_4555_free():
    """The listen port "0" means 4555, which this machine may already use."""
    if not port_is_free(4555):
        pytest.skip("port 4555 is taken on this machine")


def wait_for(condition, timeout=5.0, step=0.02):
    """True once `condition()` holds; False if it still does not after `timeout` s."""
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            return False
        time.sleep(step)
    return True


def wait_for_key_wait(tty_fd, timeout=5.0):
    """Waits until the program on the terminal `tty_fd` blocks for a key:
    only then is echo off."""
    assert wait_for(lambda: not termios.tcgetattr(tty_fd)[3] & termios.ECHO, timeout,
                    step=0.005), "the program never waited for a key"


def shown(binary, count, ip, port, msg):
    """The lines a copy of `binary` prints for one received vector."""
    lines = [f"# Packets recieved: {count}"]
    if variant_of(binary) != "i386":
        lines += ["Converting data to readable information...", "Viewing packet info.."]
    lines += ["Packet vector incoming!", f"\t  IP: {ip}", f"\tPORT: {port}", f"\t MSG: {msg}"]
    return "\r\n".join(lines) + "\r\n"


def fixed_payload(text: bytes) -> bytes:
    """What the x86-64 deliverable puts on the wire for one slot."""
    return (text[:9] + b"\0" * 9)[:9]


def whole_payload(text: bytes) -> bytes:
    """What the 32-bit deliverable puts on the wire for one slot."""
    return text + b"\0"


def expected_vector(binary, copy, message: bytes):
    """The datagrams a copy of `binary` sends for `message`."""
    dest_ip, dest_port, reply_ip, listen_port = (a.encode() for a in copy.args)
    if variant_of(binary) == "i386":
        return [whole_payload(reply_ip), whole_payload(listen_port), whole_payload(message)]
    return [fixed_payload(dest_ip), fixed_payload(dest_port), fixed_payload(message)]


class Peer:
    """A raw UDP socket on 127.0.0.1 playing the other copy."""

    def __init__(self, port=0):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind((LOOPBACK, port))
        self.port = self.sock.getsockname()[1]

    def send(self, datagrams, port):
        for datagram in datagrams:
            self.sock.sendto(datagram, (LOOPBACK, port))

    def receive(self, count=3, timeout=5.0):
        self.sock.settimeout(timeout)
        return [self.sock.recv(4096) for _ in range(count)]

    def nothing_waiting(self, timeout=0.3):
        self.sock.settimeout(timeout)
        try:
            self.sock.recv(4096)
            return False
        except socket.timeout:
            return True

    def close(self):
        self.sock.close()


@pytest.fixture
def peer():
    p = Peer()
    yield p
    p.close()


class Copy:
    """One running copy of the program in its own pseudo-terminal."""

    def __init__(self, binary, dest_port, listen_port, dest_ip=LOOPBACK, reply_ip=LOOPBACK,
                 stdin_from=None, shell_setup=None, wait_ready=True, answer="y", env=None,
                 wrapper=(), script=None, patience=10):
        """Starts a copy and waits for its confirmation question, answering it
        with `answer` (a line) where the build reads one. With `answer` None
        the test answers itself. The output up to the question is `startup`.
        A `wrapper` (such as valgrind) runs the program in the same process;
        a `script` runs it as "$0" "$@" in a shell that is the child.
        `patience` is how many seconds a wait for the copy lasts at most
        (longer under valgrind on a slow machine)."""
        self.binary = binary
        self.patience = patience
        self.args = [dest_ip, str(dest_port), reply_ip, str(listen_port)]
        command, *argv = [*wrapper, *command_for(binary), *self.args]
        if script is None and (stdin_from is not None or shell_setup is not None):
            # A shell sets the scene, then becomes the program (same pid).
            script = (shell_setup or "") + ' exec "$0" "$@"'
            if stdin_from is not None:
                script += " < " + stdin_from
        if script is not None:
            command, argv = "/bin/sh", ["-c", script, command, *argv]
        full_env = dict(os.environ, TERM="xterm", **(env or {}))
        self.child = pexpect.spawn(command, argv, env=full_env, timeout=10,
                                   dimensions=(50, 200))
        self.tty = os.readlink(f"/proc/{self.child.pid}/fd/1")
        self.tty_fd = os.open(self.tty, os.O_RDWR | os.O_NOCTTY)
        self.final_lflag = None
        self.startup = self.expect(QUESTION) + QUESTION.encode()
        if variant_of(binary) == "i386" and stdin_from is None and answer is not None:
            self.child.send(answer + "\r")
        if wait_ready:
            self.expect(READY)

    # Output -----------------------------------------------------------------
    def expect(self, text, timeout=None):
        self.child.expect_exact(text, timeout=timeout or self.patience)
        return self.child.before

    def absent(self, text, within=0.5):
        """True when `text` does not appear within the given time."""
        try:
            self.child.expect_exact(text, timeout=within)
            return False
        except pexpect.TIMEOUT:
            return True

    # Terminal ---------------------------------------------------------------
    def lflag(self):
        return termios.tcgetattr(self.tty_fd)[3]

    def wait_for_key_wait(self, timeout=None):
        wait_for_key_wait(self.tty_fd, timeout or self.patience / 2)

    def open_prompt(self):
        self.child.send("\r")
        self.wait_for_key_wait()
        self.child.send("\r")
        self.expect("\r\n$ ")

    def command(self, line):
        self.open_prompt()
        self.child.send(line + "\r")

    def send_message(self, message):
        self.command("send")
        self.expect(" > ")
        self.child.send(message + "\r")
        self.expect("Sending...")

    # End --------------------------------------------------------------------
    def exit_normally(self):
        """Types exit and checks that the copy ends with status 0."""
        self.command("exit")
        output = self.finish()
        assert self.child.exitstatus == 0
        return output

    def finish(self, timeout=10):
        """Waits for the process to end; returns all output since the last
        expect. The terminal's final local modes are kept in `final_lflag`."""
        # pexpect's own buffer holds what arrived after the last match; from
        # here on the terminal is read directly, so nothing is counted twice.
        output = self.child.buffer
        self.child.buffer = b""
        deadline = time.monotonic() + timeout
        while self.child.isalive():
            assert time.monotonic() < deadline, "the program did not end"
            output += self.read_some(timeout=0.05)  # a full terminal must not block it
        self.final_lflag = self.lflag()
        # Our own handle on the terminal keeps it open; drop it to see the end.
        os.close(self.tty_fd)
        self.tty_fd = None
        while True:
            try:
                output += self.child.read_nonblocking(65536, timeout=1)
            except pexpect.EOF:
                return output

    def read_some(self, timeout):
        """What the copy has printed, waiting up to `timeout` for it."""
        try:
            return self.child.read_nonblocking(65536, timeout=timeout)
        except (pexpect.TIMEOUT, pexpect.EOF):
            return b""

    def read_until_quiet(self, quiet=1.0):
        """All the copy prints until it has printed nothing for `quiet` seconds."""
        chunks = []
        while chunk := self.read_some(timeout=quiet):
            chunks.append(chunk)
        return b"".join(chunks)

    def close(self):
        if self.child.isalive():
            self.child.terminate(force=True)
        if self.tty_fd is not None:
            os.close(self.tty_fd)


@pytest.fixture
def spawn():
    copies = []

    def start(*args, **kwargs):
        copy = Copy(*args, **kwargs)
        copies.append(copy)
        return copy

    yield start
    for copy in copies:
        copy.close()


def start_redirected(binary, listen, stdout, stderr=subprocess.PIPE, shell_setup="", env=None,
                     reply_ip=LOOPBACK):
    """Starts a copy, set up by a bash `shell_setup`, whose standard input and
    output are no terminal, and confirms it where the build asks."""
    argv = [*command_for(binary), LOOPBACK, str(free_port()), reply_ip, str(listen)]
    # The answer waits in the pipe before the child starts, so nothing is ever
    # written to a child that has already ended.
    answer, answer_writer = os.pipe()
    if variant_of(binary) == "i386":
        os.write(answer_writer, b"y\n")
    os.close(answer_writer)
    try:
        return subprocess.Popen(["bash", "-c", shell_setup + ' exec "$0" "$@"', *argv],
                                stdin=answer, stdout=stdout, stderr=stderr, env=env)
    finally:
        os.close(answer)


def run_plain(binary, args, timeout=10, input_text=b"", env=None, wrapper=()):
    """Runs the program without a terminal; returns the completed process."""
    return subprocess.run([*wrapper, *command_for(binary), *args], capture_output=True,
                          timeout=timeout, input=input_text,
                          env=dict(os.environ, TERM="xterm", **(env or {})))


def in_namespaces(flags, setup='exec "$@"'):
    """A command prefix that runs a program in new namespaces (`flags` as
    unshare takes them), after a shell `setup` that ends by running it with
    exec "$@": as root, or else in a user namespace of its own. The test
    skips where neither can be made (as in some testbeds)."""
    for unshare in (["unshare", flags], ["unshare", "-r", flags]):
        prefix = [*unshare, "sh", "-c", setup, "sh"]
        made = subprocess.run([*prefix, "true"], capture_output=True, text=True)
        if made.returncode == 0:
            return prefix
    pytest.skip(f"cannot make namespaces {flags} here: {made.stderr.strip()}")


def offline(tmp_path):
    """A command prefix that runs a program in a network namespace of its own
    (only a loopback, down) whose resolver is asked at 127.0.0.1, so a lookup
    fails there at once and nothing it sends can leave the machine."""
    resolv_conf = tmp_path / "resolv.conf"
    resolv_conf.write_text("nameserver 127.0.0.1\n")
    return in_namespaces("-nm", f"[ ! -e /etc/resolv.conf ] || mount --bind {resolv_conf} "
                         '/etc/resolv.conf && exec "$@"')


def failing(binary, call, error=""):
    """The environment in which `binary` finds its Nth call of an SDL_net
    function failing with SDL's error text `error` (`call` is "NAME:N"),
    through the library built beside it; the test skips where there is none
    (an installed program)."""
    return with_shim(binary, {"QUENNIMARD_FAIL": call, "QUENNIMARD_FAIL_ERROR": error})


def with_shim(binary, settings):
    """The environment that preloads the test library built beside `binary`
    (tests/shim), with its `settings`."""
    shim = os.path.join(os.path.dirname(binary), "libsdlnet_failure.so")
    if not os.path.exists(shim):
        pytest.skip("no failure shim built beside this program")
    env = {**settings, "ASAN_OPTIONS": "verify_asan_link_order=0"}
    if command_for(binary)[0] == "qemu-i386":  # the emulator itself must not load it
        env["QEMU_SET_ENV"] = f"LD_PRELOAD={shim}"
    else:
        env["LD_PRELOAD"] = shim
    return env
