"""Two real copies on loopback, of either build, and a copy whose standard
input is no terminal."""

import itertools

import pytest

from conftest import binaries, free_port, label_of, shown, variant_of


def slot_texts(sender_binary, sender, message):
    """The texts a receiver reads from one vector of `sender`."""
    dest_ip, dest_port, reply_ip, listen_port = sender.args
    if variant_of(sender_binary) == "i386":
        return reply_ip, listen_port, message
    return dest_ip[:9], dest_port[:9], message[:9]


PAIRS = list(itertools.product(binaries(), repeat=2))


@pytest.mark.parametrize("sender_binary,receiver_binary", PAIRS,
                         ids=[f"{label_of(a)}-to-{label_of(b)}" for a, b in PAIRS])
def test_messages_and_quit_between_two_copies(spawn, sender_binary, receiver_binary):
    port_a, port_b = free_port(), free_port()
    a = spawn(sender_binary, port_b, port_a)
    b = spawn(receiver_binary, port_a, port_b)

    for message in ("hello", "a-message-of-20-byte"):
        a.send_message(message)
        b.expect(shown(receiver_binary, 3, *slot_texts(sender_binary, a, message)))

    # Replies travel the other way.
    b.send_message("back")
    a.expect(shown(sender_binary, 3, *slot_texts(receiver_binary, b, "back")))

    # Ctrl-@ types a NUL: the receiver reads "quit" up to it, so the sender
    # must end too.
    a.send_message("quit\x00after")
    a.expect("msg = quit\r\n\r\nClient sent \"quit\" command!\r\n")
    a.expect("\r\nTerminating program normally...\r\n")
    b.expect("\r\nServer recieved \"quit\" signal from client!\r\n")
    b.expect("\r\nTerminating program normally...\r\n")
    a.finish()
    b.finish()
    assert (a.child.exitstatus, b.child.exitstatus) == (0, 0)


def test_without_a_terminal_a_copy_only_receives(binary, spawn, peer):
    copy = spawn(binary, peer.port, free_port(), stdin_from="/dev/null")
    listen = int(copy.args[3])
    peer.send([b"1.2.3.4\0", b"1\0", b"first\0"], listen)
    copy.expect("\t MSG: first\r\n")
    peer.send([b"1.2.3.4\0", b"1\0", b"quit\0"], listen)
    copy.expect("\r\nServer recieved \"quit\" signal from client!\r\n")
    copy.finish()
    assert copy.child.exitstatus == 0
    assert peer.nothing_waiting(0.1)
