"""The message vector on the wire: exact bytes sent, what is shown for what
arrives (whole, partial, bursts, oversized, hostile), and vectors kept whole."""

import re
import time

import pytest

from conftest import expected_vector, free_port, in_namespaces, shown, variant_of


def test_send_puts_exact_payloads_on_the_wire(binary, spawn, peer):
    copy = spawn(binary, peer.port, free_port())
    messages = [b"hi", b"abcdefgh", b"abcdefghi", b"a-longer-message-of-30-bytes!!"]
    for message in messages:
        copy.send_message(message.decode())
        expected = expected_vector(binary, copy, message)
        assert peer.receive() == expected
        output = copy.child.before.decode()
        for i, payload in enumerate(expected):
            assert (f"Packet[{i}]: setting host->setting port->setting length->"
                    f"{len(payload)}setting channel...\r\n") in output
        assert "Setting packet vector destination info...\r\n" in output
        assert ("data_to_send[IP]: 0\r\n" in output) == (variant_of(binary) != "i386")
        assert "Error sending packet!" not in output
    copy.exit_normally()


def test_failed_send_is_reported_and_the_copy_goes_on_even_after_quit(binary, spawn):
    # In a network namespace of its own, whose loopback is down, the kernel
    # refuses every send. Without root, a user namespace makes it possible.
    copy = spawn(binary, free_port(), free_port(), wrapper=in_namespaces("-n"))
    copy.send_message("lost")
    copy.expect("\r\nError sending packet!\r\n")
    # A quit that never left ends nothing: the peer goes on, and so does this
    # copy, which can send again or exit.
    copy.send_message("quit")
    copy.expect("\r\nError sending packet!\r\n")
    assert copy.absent("Client sent", within=0.5)
    output = copy.exit_normally()
    assert b"Client sent" not in output


def test_received_vectors_are_shown_by_the_slot_rule(binary, spawn, peer):
    copy = spawn(binary, free_port(), free_port())
    listen = int(copy.args[3])

    # A lone datagram before any vector: the other slots read as empty.
    peer.send([b"only-ip\0"], listen)
    copy.expect(shown(binary, 1, "only-ip", "", ""))

    # A whole vector; a NUL ends each text, no NUL bounds it by its length.
    peer.send([b"127.0.0.1", b"4556\0junk", b"hello\0\0\0\0"], listen)
    copy.expect(shown(binary, 3, "127.0.0.1", "4556", "hello"))

    # Again a lone datagram: the slots it did not reach show their last text.
    peer.send([b"solo"], listen)
    copy.expect(shown(binary, 1, "solo", "4556", "hello"))

    # Four at once: three, then the rest.
    peer.send([b"a", b"b", b"c", b"d"], listen)
    copy.expect(shown(binary, 3, "a", "b", "c"))
    copy.expect(shown(binary, 1, "d", "b", "c"))

    # Oversized: cut to the 512-byte buffer.
    peer.send([b"x", b"y", b"Z" * 600], listen)
    copy.expect(shown(binary, 3, "x", "y", "Z" * 512))

    # "quit" anywhere but the MSG slot, or as part of a word, ends nothing.
    peer.send([b"quit\0", b"quit\0", b"quitquit\0"], listen)
    copy.expect(shown(binary, 3, "quit", "quit", "quitquit"))
    assert copy.child.isalive()
    copy.exit_normally()


# How each charset shows the PORT and MSG slots below (as latin-1 text of the
# exact bytes), and how the terminal decodes what it gets. In UTF-8 a C1
# control is escaped raw or encoded, and so is a right-to-left override; one
# byte a character, the bytes 0x80 to 0x9F are escaped wherever they stand and
# 0xA0 to 0xFF are kept. A backslash is escaped in both, so that a text that
# looks like an escape cannot pass for one.
LOCALES = {
    "utf-8": ({"LC_ALL": "C.UTF-8"}, "\\x9b2J\\xc2\\x9d0;x\\xc2\\x9c\\xff caf\xc3\xa9",
              "\\x5cx1b\\xe2\\x80\\xae", "utf-8"),
    "8-bit": ({"LC_ALL": "", "LC_CTYPE": "", "LANG": "C"},
              "\\x9b2J\xc2\\x9d0;x\xc2\\x9c\xff caf\xc3\xa9", "\\x5cx1b\xe2\\x80\xae", "latin-1"),
}


@pytest.mark.parametrize("charset", LOCALES)
def test_control_bytes_cannot_drive_the_terminal(binary, spawn, peer, charset):
    env, port_shown, msg_shown, terminal_decoding = LOCALES[charset]
    copy = spawn(binary, free_port(), free_port(), env=env)
    listen = int(copy.args[3])
    copy.expect("\r\n")  # everything up to here, the screen clear included, is ours
    peer.send([b"\x1b]0;pwned\x07", b"\x9b2J\xc2\x9d0;x\xc2\x9c\xff caf\xc3\xa9",
               b"red\x1b[31m\r\nfake\x7f\\x1b\xe2\x80\xae\x00tail"], listen)
    expected = shown(binary, 3, "\\x1b]0;pwned\\x07", port_shown,
                     "red\\x1b[31m\\x0d\\x0afake\\x7f" + msg_shown)
    copy.expect(expected.encode("latin-1"))
    received = (copy.child.before + copy.child.after).decode(terminal_decoding)
    assert not re.search("[\x00-\x08\x0b\x0c\x0e-\x1f\x7f-\x9f\u202e]", received)
    copy.exit_normally()


def test_quit_in_the_msg_slot_ends_the_receiver(binary, spawn, peer):
    copy = spawn(binary, free_port(), free_port())
    peer.send([b"10.0.0.1\0", b"4555\0", b"quit\0\0\0\0\0"], int(copy.args[3]))
    copy.expect("\t MSG: quit\r\n")
    copy.expect("\r\nServer recieved \"quit\" signal from client!\r\n")
    copy.expect("\r\nTerminating program normally...\r\n")
    copy.finish()
    assert copy.child.exitstatus == 0


# A sender on a slow or loaded machine can be held between two datagrams of
# one vector for several time slices: 50 ms still keeps the vector whole.
@pytest.mark.parametrize("gap, count", [(0.0, 150), (0.001, 150), (0.05, 30)],
                         ids=["back-to-back", "1ms-after-first", "50ms-after-first"])
def test_vectors_stay_whole(binary, spawn, peer, gap, count):
    copy = spawn(binary, free_port(), free_port())
    listen = int(copy.args[3])
    late = set()  # vectors whose own sending outlasted the completion bound
    for n in range(count):
        start = time.perf_counter()
        peer.send([b"127.0.0.1"], listen)
        if gap:
            time.sleep(gap)
        peer.send([b"4556\0", f"m{n:04d}\0".encode()], listen)
        if time.perf_counter() - start > 0.09:
            late.add(n)
        time.sleep(0.010)  # a pause between vectors, as people send them
    copy.expect(f"m{count - 1:04d}\r\n", timeout=20)
    output = (copy.child.before + copy.child.after).decode()
    blocks = re.findall(r"# Packets recieved: (\d+)\r\n(?:.*\r\n)*?\t  IP: (.*)\r\n"
                        r"\tPORT: (.*)\r\n\t MSG: (.*)\r\n", output)
    whole = {msg for n, ip, port, msg in blocks if (n, ip, port) == ("3", "127.0.0.1", "4556")}
    torn = [n for n in range(count) if f"m{n:04d}" not in whole and n not in late]
    assert torn == [], f"{len(torn)} vectors shown torn apart"
    assert len(late) < count // 4, "the sender was too slow for this run to say anything"
    copy.exit_normally()
