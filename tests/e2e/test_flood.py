"""Flood and soak: 50,000 random datagrams from several sockets at a copy in a
pseudo-terminal. Afterwards the copy still answers, sends a correct vector and
exits normally; its memory stayed flat; and nothing it showed carried a raw
control byte from the flood."""

import random
import re
import threading
import time

from conftest import LOOPBACK, Peer, expected_vector, free_port, is_sanitized, label_of

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
    rb"|Viewing packet info\.\.|Packet vector incoming!|Error receiving packet!"
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
    assert b"Error receiving packet!" not in output
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
