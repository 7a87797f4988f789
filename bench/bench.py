#!/usr/bin/python3
"""Prints what quennimard costs and how fast it is, beside `nc -u -l`
(netcat-openbsd) in the same run. Loopback only; not a test: it asserts
nothing and only reports.

- idle: wake-ups a second (context switches, /proc/PID/status) and CPU, with a
  terminal and with standard input from /dev/null;
- key: from a key press to the copy waiting for the next key (median, p99);
- display: from a vector's arrival to its MSG line on the terminal;
- rate: the highest rate of vectors a second of which at least 99.5% are shown
  whole and right (all three texts, in their slots);
- lost: from the arrival of a vector's first datagram, whose other two never
  come, to its display (the wait for the rest of a vector);
- calls: system calls a pass of the loop while a burst of 40 vectors waits
  (median, counted by strace); for nc, its calls for each three datagrams;
- start: from the start of the process to its ready line (for nc, to its
  port being bound) and its resident memory then (median of 10 starts):
  what the SDL 1.2 library costs, which on Debian 13 and later is
  sdl12-compat over SDL2 (and, on unstable, over SDL3). Each row names the
  SDL libraries of its program's architecture.

Usage: bench/bench.py [--output FILE] [path/to/quennimard ...]
(default: build/quennimard; a 32-bit program runs through qemu-i386 where the
kernel cannot run it). With --output, the table also goes to FILE as
Markdown, under a heading of this Debian release, with the version, the date
and the machine: it replaces that release's table there, or is added, and
the other releases' tables stay.
"""

import multiprocessing
import os
import re
import socket
import statistics
import subprocess
import sys
import tempfile
import termios
import threading
import time

import pexpect

SOURCE_ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
LOOPBACK = "127.0.0.1"
READY = "Allocating memory for recieving packets...Success!"
IDLE_SECONDS = 5
KEY_PRESSES = 200
VECTORS = 300
LOST_VECTORS = 20
STARTS = 10
BURST = 40
RATES = [2_000, 5_000, 10_000, 15_000, 20_000, 30_000, 40_000]
RATE_SECONDS = 1.0
WHOLE_SHARE = 0.995


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        probe.bind((LOOPBACK, 0))
        return probe.getsockname()[1]


class Subject:
    def __init__(self, name, argv_for_port, ready, vector, shown, answer=None, architecture=None):
        self.name, self.argv_for_port, self.ready = name, argv_for_port, ready
        self.answer = answer  # to the 32-bit build's confirmation question
        self.vector = vector  # tag -> the datagrams that carry it
        self.shown = shown    # compiled pattern whose group 1 is a tag shown whole
        self.architecture = architecture  # of the SDL libraries it loads


def quennimard(path):
    shown = re.compile(rb"# Packets recieved: 3\r\n(?:Converting data to readable information"
                       rb"\.\.\.\r\nViewing packet info\.\.\r\n)?Packet vector incoming!\r\n"
                       rb"\t  IP: 127\.0\.0\.1\r\n\tPORT: 4556\r\n\t MSG: (v\d{7})\r\n")
    command = command_for(path)
    return Subject(f"quennimard ({' '.join([*command[:-1], os.path.relpath(path)])})",
                   lambda port: [*command, LOOPBACK, "4556", LOOPBACK, str(port)], READY,
                   lambda tag: [b"127.0.0.1", b"4556\0", tag + b"\0"], shown,
                   answer="y\r" if is_32bit(path) else None,
                   architecture="i386" if is_32bit(path) else "amd64")


def is_32bit(path):
    with open(path, "rb") as elf:
        return elf.read(5)[4] == 1  # ELF class byte


def command_for(path):
    """A 32-bit program runs through qemu-i386 where the kernel cannot run it
    itself; its figures then include the emulator's cost."""
    if not is_32bit(path):
        return [path]
    try:
        subprocess.run([path], capture_output=True, timeout=10)
        return [path]
    except OSError:
        return ["qemu-i386", path]


def netcat():
    return Subject("nc -u -l (reference)", lambda port: ["nc", "-u", "-l", LOOPBACK, str(port)],
                   None, lambda tag: [b"127.0.0.1\n", b"4556\n", tag + b"\n"],
                   re.compile(rb"127\.0\.0\.1\r\n4556\r\n(v\d{7})\r\n"))


def spawn(subject, port, stdin_null=False):
    argv = subject.argv_for_port(port)
    if stdin_null:
        argv = ["/bin/sh", "-c", 'exec "$0" "$@" < /dev/null', *argv]
    child = pexpect.spawn(argv[0], argv[1:], env=dict(os.environ, TERM="dumb"), timeout=10,
                          dimensions=(50, 200))
    child.delaybeforesend = None  # pexpect's default waits 50 ms before each send
    if subject.answer and not stdin_null:
        child.expect_exact("Is this correct? [Y/n] ")
        child.send(subject.answer)
    if subject.ready:
        child.expect_exact(subject.ready)
    time.sleep(0.3)  # let it settle into its wait
    return child


def context_switches(pid):
    with open(f"/proc/{pid}/status") as status:
        return sum(int(line.split()[1]) for line in status if "ctxt_switches" in line)


def cpu_seconds(pid):
    with open(f"/proc/{pid}/schedstat") as schedstat:  # nanoseconds on a processor
        return int(schedstat.read().split()[0]) / 1e9


def idle(subjects):
    """Starts every subject in both modes at once and samples them together."""
    running = [(s.name, null, spawn(s, free_port(), null)) for s in subjects for null in (0, 1)]
    start = {id(c): (context_switches(c.pid), cpu_seconds(c.pid)) for _, _, c in running}
    time.sleep(IDLE_SECONDS)
    figures = {}
    for name, null, child in running:
        switches, cpu = start[id(child)]
        figures[(name, null)] = ((context_switches(child.pid) - switches) / IDLE_SECONDS,
                                 100 * (cpu_seconds(child.pid) - cpu) / IDLE_SECONDS)
        child.terminate(force=True)
    return figures


def wait_for_lflag(tty_fd, done):
    while not done(termios.tcgetattr(tty_fd)[3]):
        os.sched_yield()  # the kernel worker that delivers typed bytes needs a core too


def key_latency(subject):
    """From a key press to the copy waiting, echo off, for the second key."""
    child = spawn(subject, free_port())
    tty_fd = os.open(os.readlink(f"/proc/{child.pid}/fd/1"), os.O_RDWR | os.O_NOCTTY)
    samples = []
    for _ in range(KEY_PRESSES):
        start = time.perf_counter()
        child.send("x")
        wait_for_lflag(tty_fd, lambda lflag: not lflag & termios.ECHO)
        samples.append((time.perf_counter() - start) * 1e6)
        child.send("y")  # no Enter: back to idle
        wait_for_lflag(tty_fd, lambda lflag: lflag & termios.ECHO and not lflag & termios.ICANON)
        time.sleep(0.002)
    os.close(tty_fd)
    child.terminate(force=True)
    return percentiles(samples)


def arrival_to_display(subject, count, datagrams_for, shown_for):
    """Seconds from sending each of `count` tagged datagram lists to the
    copy showing the text that `shown_for(tag)` gives."""
    port = free_port()
    child = spawn(subject, port)
    sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    samples = []
    for n in range(count):
        tag = f"v{n:07d}".encode()
        start = time.perf_counter()
        for datagram in datagrams_for(tag):
            sender.sendto(datagram, (LOOPBACK, port))
        child.expect_exact(shown_for(tag))
        samples.append(time.perf_counter() - start)
        time.sleep(0.002)
    child.terminate(force=True)
    return samples


def display_latency(subject):
    samples = arrival_to_display(subject, VECTORS, subject.vector, lambda tag: tag)
    return percentiles([seconds * 1e6 for seconds in samples])


def lost_datagram_latency(subject):
    """From a lone first datagram to its IP line, after the copy has waited
    for the other two."""
    samples = arrival_to_display(subject, LOST_VECTORS, lambda tag: [tag + b"\0"],
                                 lambda tag: b"\t  IP: " + tag)
    return statistics.median(samples) * 1e3


def start_cost(subject):
    """Median time to ready (ms) and resident memory then (kB) over STARTS,
    in a pseudo-terminal opened here (pexpect's own start takes longer than
    the program's)."""
    times, resident = [], []
    for _ in range(STARTS):
        port = free_port()
        controller, terminal = os.openpty()
        start = time.perf_counter()
        child = subprocess.Popen(subject.argv_for_port(port), stdin=terminal, stdout=terminal,
                                 stderr=terminal, env=dict(os.environ, TERM="dumb"))
        shown = b""
        while not (subject.ready.encode() in shown if subject.ready else not port_is_free(port)):
            if not subject.ready:
                time.sleep(0.0005)
                continue
            shown += os.read(controller, 1 << 16)
            if subject.answer and shown.endswith(b"Is this correct? [Y/n] "):
                os.write(controller, subject.answer.encode())
        times.append((time.perf_counter() - start) * 1e3)
        resident.append(resident_kb(child.pid))  # under qemu-i386, the emulator's
        child.kill()
        child.wait()
        os.close(controller)
        os.close(terminal)
    return statistics.median(times), statistics.median(resident)


def port_is_free(port):
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        try:
            probe.bind((LOOPBACK, port))
            return True
        except OSError:
            return False


def resident_kb(pid):
    with open(f"/proc/{pid}/status") as status:
        return next(int(line.split()[1]) for line in status if line.startswith("VmRSS:"))


def system_calls(subject):
    """With a burst of vectors waiting: quennimard's calls a pass (between two
    of kbhit's sleeps, in passes that received), or nc's for each vector."""
    port = free_port()
    with tempfile.TemporaryDirectory() as scratch:
        trace = os.path.join(scratch, "trace")
        traced = Subject(subject.name, lambda p: ["strace", "-qq", "-o", trace,
                                                  *subject.argv_for_port(p)],
                         subject.ready, subject.vector, subject.shown, subject.answer)
        child = spawn(traced, port)
        sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        for n in range(BURST):
            for datagram in subject.vector(f"v{n:07d}".encode()):
                sender.sendto(datagram, (LOOPBACK, port))
        child.expect_exact(f"v{BURST - 1:07d}")
        time.sleep(0.3)
        child.terminate(force=True)
        with open(trace) as lines:
            calls = lines.read().splitlines()
    if subject.ready:
        sleeps = [i for i, call in enumerate(calls) if "nanosleep(" in call]
        passes = [calls[a + 1:b + 1] for a, b in zip(sleeps, sleeps[1:])]
        return statistics.median(len(one) for one in passes
                                 if any(call.startswith("recvfrom(") for call in one))
    first = next(i for i, call in enumerate(calls) if call.startswith("recvfrom("))
    last = max(i for i, call in enumerate(calls) if f"v{BURST - 1:07d}" in call)
    return (last - first + 1) / BURST


def sdl_libraries(architecture):
    """The SDL libraries installed for `architecture`: SDL 1.2, and on Debian
    13 and later what sdl12-compat loads under it."""
    libraries = []
    for package in ("libsdl1.2debian", "libsdl2-2.0-0", "libsdl3-0"):
        found = subprocess.run(["dpkg-query", "-W", "-f", "${source:Package} ${Version}",
                                f"{package}:{architecture}"], capture_output=True, text=True)
        if found.returncode == 0 and found.stdout:
            libraries.append(found.stdout)
    return ", ".join(libraries)


def percentiles(samples):
    samples.sort()
    return statistics.median(samples), samples[int(len(samples) * 0.99) - 1]


def send_at_rate(port, rate, vector):
    """Runs in its own process, so the reader of the terminal never waits on it."""
    sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    vectors = [vector(f"v{n:07d}".encode()) for n in range(int(rate * RATE_SECONDS))]
    start = time.perf_counter()
    for n, datagrams in enumerate(vectors):
        while time.perf_counter() - start < n / rate:
            pass
        for datagram in datagrams:
            sender.sendto(datagram, (LOOPBACK, port))


def share_shown_whole(subject, rate):
    port = free_port()
    child = spawn(subject, port)
    output = []
    reading = threading.Thread(target=drain, args=(child.child_fd, output))
    reading.start()
    sending = multiprocessing.get_context("fork").Process(
        target=send_at_rate, args=(port, rate, subject.vector))
    sending.start()
    sending.join()
    time.sleep(1.0)  # let the copy show what is still queued
    child.terminate(force=True)
    reading.join()
    tags = set(subject.shown.findall(b"".join(output)))
    return len(tags) / int(rate * RATE_SECONDS)


def drain(fd, chunks):
    while True:
        try:
            chunk = os.read(fd, 1 << 16)
        except OSError:
            return
        if not chunk:
            return
        chunks.append(chunk)


def highest_rate(subject):
    best, shares = 0, []
    for rate in RATES:
        share = share_shown_whole(subject, rate)
        shares.append(f"{rate // 1000}k:{100 * share:.1f}%")
        if share < WHOLE_SHARE:
            break
        best = rate
    return best, " ".join(shares)


def machine():
    with open("/proc/cpuinfo") as cpuinfo:
        model = next((line.split(":", 1)[1].strip() for line in cpuinfo
                      if line.startswith("model name")), "unknown processor")
    return f"{model}, {os.cpu_count()} cores"


def release():
    """This Debian release, as the heading of its table: "Debian 12
    (bookworm)", or "Debian unstable (sid)"."""
    codename = subprocess.run(["bash", os.path.join(SOURCE_ROOT, "scripts", "release.sh")],
                              capture_output=True, text=True, check=True).stdout.strip()
    with open("/etc/os-release") as os_release:
        number = re.search(r'^VERSION_ID="?(\d+)', os_release.read(), re.M)
    if number:
        return f"Debian {number.group(1)} ({codename})"
    return f"Debian {'unstable' if codename == 'sid' else 'testing'} ({codename})"


def point_release():
    with open("/etc/debian_version") as debian:
        return f"Debian {debian.read().strip()}"


def version():
    changelog = os.path.join(SOURCE_ROOT, "debian", "changelog")
    with open(changelog) as entries:
        return re.match(r"quennimard \((\S+)\)", entries.readline()).group(1)


COLUMNS = ["program", "SDL libraries", "wake-ups/s, terminal", "wake-ups/s, /dev/null",
           "CPU, terminal", "CPU, /dev/null", "key µs, median", "key µs, p99",
           "display µs, median", "display µs, p99", "vectors/s shown whole",
           "share shown whole per rate", "system calls a pass (nc: a vector)",
           "lost datagram shown after, ms", "start to ready, ms", "resident at ready, kB"]


def measure(subject, figures):
    (tty_wakes, tty_cpu), (null_wakes, null_cpu) = figures[(subject.name, 0)], \
        figures[(subject.name, 1)]
    key = key_latency(subject) if subject.ready else None  # nc has no key rule
    display = display_latency(subject)
    rate, shares = highest_rate(subject)
    calls = system_calls(subject)
    lost = lost_datagram_latency(subject) if subject.ready else None  # nc shows each at once
    start_ms, resident = start_cost(subject)
    libraries = sdl_libraries(subject.architecture) if subject.architecture else "n/a"
    return [subject.name, libraries, f"{tty_wakes:.1f}", f"{null_wakes:.1f}", f"{tty_cpu:.2f}%",
            f"{null_cpu:.2f}%", f"{key[0]:.0f}" if key else "n/a", f"{key[1]:.0f}" if key else "",
            f"{display[0]:.0f}", f"{display[1]:.0f}", str(rate), shares, f"{calls:g}",
            f"{lost:.0f}" if lost else "n/a", f"{start_ms:.1f}", str(resident)]


def write_table(path, heading, text):
    """Puts `text` under `heading` in the Markdown file `path`: in place of
    what that heading held, or at the end; the rest of the file stays."""
    sections, preamble = {}, ("The tables of bench/bench.py, one for each Debian release it "
                              "was last run on.\n")
    if os.path.exists(path):
        with open(path) as old:
            preamble, *parts = re.split(r"^## (.*)\n", old.read(), flags=re.M)
        sections = dict(zip(parts[::2], parts[1::2]))
    sections[heading] = text
    with open(path, "w") as table:
        table.write(preamble.rstrip("\n") + "\n")
        for name, body in sections.items():
            table.write(f"\n## {name}\n\n{body.strip()}\n")


def main():
    arguments = sys.argv[1:]
    if any(arg in ("-h", "--help") for arg in arguments):
        print(__doc__.strip())
        return
    output = None
    if arguments[:1] == ["--output"]:
        output, arguments = arguments[1], arguments[2:]
    subjects = [quennimard(p) for p in (arguments or ["build/quennimard"])] + [netcat()]
    setting = (f"idle over {IDLE_SECONDS} s; {KEY_PRESSES} key presses; {VECTORS} vectors for "
               f"display latency; rates of {RATE_SECONDS:.0f} s each until under "
               f"{100 * WHOLE_SHARE}% are shown whole; {LOST_VECTORS} lone datagrams; "
               f"{STARTS} starts; loopback only")
    print(f"{point_release()}; {setting}\n")
    figures = idle(subjects)
    widths = [40, 45, 22, 22, 14, 15, 15, 12, 19, 16, 22, 44, 20, 16, 14, 0]
    print("".join(f"{name:<{width}}" for name, width in zip(COLUMNS, widths)))
    rows = []
    for subject in subjects:
        rows.append(measure(subject, figures))
        print("".join(f"{cell:<{width}}" for cell, width in zip(rows[-1], widths)), flush=True)
    if output:
        lines = [f"quennimard {version()}, measured {time.strftime('%Y-%m-%d')} on {machine()} "
                 f"({point_release()}), by bench/bench.py, beside nc -u -l in the same run "
                 f"({setting}).", "", "| " + " | ".join(COLUMNS) + " |",
                 "|" + "---|" * len(COLUMNS)]
        lines += ["| " + " | ".join(row) + " |" for row in rows]
        write_table(output, release(), "\n".join(lines))


if __name__ == "__main__":
    main()
