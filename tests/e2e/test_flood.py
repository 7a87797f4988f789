"""Flood and soak: 50,000 random datagrams from several sockets at a copy in a
pseudo-terminal. Afterwards the copy still answers, sends a correct vector and
exits normally; its memory stayed flat; and nothing it showed carried a raw
control byte from the flood. And the cost of the loop under a burst, in
system calls a pass."""

import random
import re
import shutil
import statistics
import subprocess
import sys
import threading
import time

import pytest

from conftest import (LOOPBACK, Peer, expected_vector, free_port, is_sanitized, label_of,
                      skip_under_emulator)

DATAGRAMS = 50_000
SENDERS = 4
BURST = 100            # datagrams sent back to back before a short pause
PAUSE = 0.003          # seconds; lets the copy drain part of each burst
# Of anonymous memory: the heap and stacks, where a leak grows; pages of the
# libraries' code that new paths touch are not the program's.
RSS_GROWTH_BOUND_KB = 256  # far less than a leak of 32 bytes per vector adds

# Every line a copy may print while only receiving. A raw newline in a slot
# would start a line of none of these shapes; other raw controls are caught
# byte by byte.
RECEIVE_LINE = re.compile(
    rb"# Packets recieved: [123]|Converting data to readable information\.\.\."
    rb"|Viewing packet info\.\.|Packet vector incoming!"
    rb"|\t(  IP|PORT| MSG): [^\x00-\x1f\x7f]*|")


def resident_kb(pid):
    """The copy's resident anonymous memory."""
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("RssAnon:"):
                return int(line.split()[1])
    raise AssertionError("no RssAnon for the copy")


def flood(port, rng):
    senders = [Peer() for _ in range(SENDERS)]
    try:
        for i in range(DATAGRAMS):
            payload = rng.randbytes(rng.randint(0, 2000))
            senders[i % SENDERS].sock.sendto(payload, (LOOPBACK, port))
            if i % BURST == BURST - 1:
                time.sleep(PAUSE)
    finally:
        for sender in senders:
            sender.close()


def test_copy_survives_a_flood_of_random_datagrams(binary, spawn, peer):
    copy = spawn(binary, peer.port, free_port())
    listen = int(copy.args[3])

    # Warm up, so the baseline already holds what the first vector allocates.
    warm_up = Peer()
    warm_up.send([b"a" * 600, b"b" * 600, b"c" * 600], listen)
    warm_up.close()
    copy.expect("Packet vector incoming!")
    copy.read_until_quiet(quiet=0.5)
    rss_before = resident_kb(copy.child.pid)

    sender = threading.Thread(target=flood, args=(listen, random.Random(4555)))
    started = time.monotonic()
    sender.start()
    chunks = []
    while sender.is_alive():
        chunks.append(copy.read_some(timeout=0.05))  # a full terminal would stall the copy
    sender.join()
    output = b"".join(chunks) + copy.read_until_quiet()
    seconds = time.monotonic() - started
    rss_after = resident_kb(copy.child.pid)

    sanitized = is_sanitized(binary)
    vectors = output.count(b"Packet vector incoming!")
    print(f"\n{label_of(binary)}{' (sanitized)' if sanitized else ''}: {DATAGRAMS} datagrams "
          f"sent in {seconds:.1f} s, {vectors} vectors shown, {len(output)} bytes of output, "
          f"anonymous memory {rss_before} kB before, {rss_after} kB after")

    assert vectors > 0
    odd_lines = [line for line in output.split(b"\r\n") if not RECEIVE_LINE.fullmatch(line)]
    assert not odd_lines, odd_lines[:3]
    assert not re.search(rb"[\x00-\x08\x0b-\x0c\x0e-\x1f\x7f]", output)
    assert not re.search("[\x80-\x9f]", output.decode("utf-8"))  # strict: valid UTF-8, no C1
    # A sanitized copy's memory is not the program's own: AddressSanitizer
    # keeps freed blocks and its shadow grows as size classes come into use.
    # There LeakSanitizer checks at exit instead.
    if not sanitized:
        assert rss_after - rss_before <= RSS_GROWTH_BOUND_KB

    # The copy still answers.
    assert peer.nothing_waiting(timeout=0.1)
    copy.send_message("after-the-flood")
    assert peer.receive() == expected_vector(binary, copy, b"after-the-flood")
    copy.exit_normally()


# Sets a terminal's mode once, after a marker, so that the calls the C library
# makes for one tcsetattr can be counted.
ONE_TCSETATTR = ("import os, termios; terminal = os.openpty()[1]; mode = termios.tcgetattr(terminal); "
                 "os.write(1, b'M'); termios.tcsetattr(terminal, termios.TCSANOW, mode)")


def calls_of_one_tcsetattr(tmp_path):
    trace = tmp_path / "tcsetattr.trace"
    subprocess.run(["strace", "-qq", "-e", "trace=write,ioctl", "-o", str(trace), sys.executable,
                    "-c", ONE_TCSETATTR], check=True, capture_output=True)
    # Python's tcsetattr reads the mode first (one ioctl) for its speeds.
    return trace.read_text().split("write(1, \"M\"", 1)[1].count("\nioctl(") - 1


def test_a_pass_with_vectors_waiting_makes_the_fewest_system_calls(binary, spawn, peer, tmp_path):
    """A count, not a time: with 40 vectors waiting and no key pressed, a pass
    of the loop is kbhit (tcgetattr, tcsetattr, FIONREAD, tcsetattr, the 10 ns
    sleep), SIGTTOU's refusal swapped in and out once, SDL_net's select and
    recvfrom for each of three datagrams, and one write."""
    skip_under_emulator(binary, "strace would count the emulator's own calls")
    if shutil.which("strace") is None:
        pytest.skip("no strace here")
    expected = 12 + 2 * calls_of_one_tcsetattr(tmp_path)
    trace = tmp_path / "copy.trace"
    # LeakSanitizer cannot run under ptrace.
    copy = spawn(binary, peer.port, free_port(), wrapper=["strace", "-qq", "-o", str(trace)],
                 env={"ASAN_OPTIONS": "detect_leaks=0"})
    time.sleep(0.3)  # into the idle wait
    for n in range(40):
        peer.send([b"127.0.0.1", b"4556\0", b"burst%02d\0" % n], int(copy.args[3]))
    copy.expect("\t MSG: burst39\r\n")
    copy.exit_normally()
    calls = trace.read_text().splitlines()
    sleeps = [i for i, call in enumerate(calls) if "nanosleep(" in call]
    passes = [calls[start + 1:end + 1] for start, end in zip(sleeps, sleeps[1:])]
    receiving = [len(one) for one in passes if any(c.startswith("recvfrom(") for c in one)]
    assert len(receiving) >= 30, "the burst was not taken a vector a pass"
    assert statistics.median(receiving) <= expected, passes[len(passes) // 2]
