#!/usr/bin/env python3
"""Prints idle CPU and arrival-to-display latency of quennimard beside the same
figures for `nc -u -l` (netcat-openbsd). Loopback only; not a test: it asserts
nothing and only reports.

Usage: bench/bench.py [path/to/quennimard ...]   (default: build/quennimard)
"""

import os
import socket
import statistics
import sys
import time

import pexpect

LOOPBACK = "127.0.0.1"
IDLE_SECONDS = 10
VECTORS = 300


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        probe.bind((LOOPBACK, 0))
        return probe.getsockname()[1]


def cpu_seconds(pid):
    # schedstat counts time on a processor in nanoseconds; stat's ticks are
    # too coarse for a program that should be idle.
    with open(f"/proc/{pid}/schedstat") as schedstat:
        return int(schedstat.read().split()[0]) / 1e9


def spawn(argv, ready, stdin_null):
    if stdin_null:
        argv = ["/bin/sh", "-c", 'exec "$0" "$@" < /dev/null', *argv]
    child = pexpect.spawn(argv[0], argv[1:], env=dict(os.environ, TERM="dumb"), timeout=10)
    if ready:
        child.expect_exact(ready)
    else:
        time.sleep(0.5)
    return child


class Subject:
    def __init__(self, name, argv_for_port, ready, message_line):
        self.name, self.argv_for_port = name, argv_for_port
        self.ready, self.message_line = ready, message_line


def idle_cpu(subjects):
    """Starts every subject in both modes at once and samples them together."""
    running = []
    for subject in subjects:
        for stdin_null in (False, True):
            child = spawn(subject.argv_for_port(free_port()), subject.ready, stdin_null)
            running.append((subject.name, stdin_null, child))
    start = {id(c): cpu_seconds(c.pid) for _, _, c in running}
    time.sleep(IDLE_SECONDS)
    figures = {}
    for name, stdin_null, child in running:
        used = cpu_seconds(child.pid) - start[id(child)]
        figures[(name, stdin_null)] = 100.0 * used / IDLE_SECONDS
        child.terminate(force=True)
    return figures


def latency(subject):
    port = free_port()
    child = spawn(subject.argv_for_port(port), subject.ready, stdin_null=False)
    sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    samples = []
    for n in range(VECTORS):
        tag = f"v{n:05d}"
        start = time.perf_counter()
        for datagram in subject.message_line(tag):
            sender.sendto(datagram, (LOOPBACK, port))
        child.expect_exact(tag)
        samples.append((time.perf_counter() - start) * 1e6)
        time.sleep(0.002)
    child.terminate(force=True)
    samples.sort()
    return statistics.median(samples), samples[int(len(samples) * 0.99) - 1]


def main():
    paths = sys.argv[1:] or ["build/quennimard"]
    subjects = [
        Subject(f"quennimard ({os.path.basename(os.path.dirname(os.path.abspath(p)))})",
                lambda port, p=p: [p, LOOPBACK, str(free_port()), LOOPBACK, str(port)],
                "Allocating memory for recieving packets...Success!",
                lambda tag: [b"127.0.0.1", b"4556\0", tag.encode() + b"\0"])
        for p in paths
    ]
    subjects.append(Subject("nc -u -l (reference)",
                            lambda port: ["nc", "-u", "-l", LOOPBACK, str(port)], None,
                            lambda tag: [tag.encode() + b"\n"]))

    print(f"idle CPU over {IDLE_SECONDS} s, then arrival-to-display latency over {VECTORS} "
          "messages on loopback")
    cpu = idle_cpu(subjects)
    print(f"{'program':<34}{'idle CPU, tty':>15}{'idle CPU, /dev/null':>21}"
          f"{'median µs':>11}{'p99 µs':>9}")
    for subject in subjects:
        median, p99 = latency(subject)
        print(f"{subject.name:<34}{cpu[(subject.name, False)]:>14.2f}%"
              f"{cpu[(subject.name, True)]:>20.2f}%{median:>11.0f}{p99:>9.0f}")


if __name__ == "__main__":
    main()
