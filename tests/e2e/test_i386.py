"""What only the 32-bit x86 build does: the confirmation answer, whole texts
with their NUL, its own reply address and listen port on the wire, the screen
cleared on "quit", and the 511-byte limit."""

import pytest

from conftest import (QUESTION, READY, USAGE, binaries, free_port, label_of, run_plain,
                      skip_unless_4555_free, variant_of, whole_payload)

I386 = [b for b in binaries() if variant_of(b) == "i386"]
pytestmark = pytest.mark.skipif(not I386, reason="no 32-bit build given")
CLEAR = b"\x1b[H\x1b[2J"
SCROLLBACK_ERASE = b"\x1b[3J"


# Ids as a list: with no 32-bit build there is no path to name, only the skip.
@pytest.fixture(params=I386, ids=[label_of(path) for path in I386])
def binary32(request):
    return request.param


def test_answer_n_refuses_before_anything_starts(binary32):
    args = ["127.0.0.1", str(free_port()), "127.0.0.1", str(free_port())]
    for answer in (b"n\n", b"N\n", b"  \n\n n \n"):
        result = run_plain(binary32, args, input_text=answer)
        assert result.returncode == 1
        assert result.stderr == USAGE
        assert result.stdout.endswith(QUESTION.encode())
        assert CLEAR not in result.stdout and b"SDL_net" not in result.stdout


@pytest.mark.parametrize("answer", ["y", "Y", "yes", "no", "y exit"])
def test_any_other_word_goes_on(binary32, spawn, answer):
    copy = spawn(binary32, free_port(), free_port(), answer=answer)
    copy.command("help")  # the rest of the answer's line was dropped, not read as a command
    copy.expect("\r\n Help:\r\n")
    copy.exit_normally()


def test_enter_alone_keeps_waiting_for_an_answer(binary32, spawn):
    copy = spawn(binary32, free_port(), free_port(), answer=None, wait_ready=False)
    copy.child.send("\r\r")
    assert copy.absent("Initializing SDL_net", within=0.7)
    copy.child.send("y\r")
    copy.expect(READY)
    copy.exit_normally()


@pytest.mark.parametrize("typed", ["", "y"], ids=["eof-alone", "eof-after-y"])
def test_end_of_input_at_the_question_goes_on_and_prompts_still_work(binary32, spawn, peer,
                                                                      typed):
    copy = spawn(binary32, peer.port, free_port(), answer=None, wait_ready=False)
    copy.child.send(typed)
    copy.child.sendeof()
    if typed:
        copy.child.sendeof()  # the first only hands over the typed word
    copy.expect(READY)
    copy.send_message("still")
    assert peer.receive()[2] == b"still\0"
    copy.exit_normally()


def test_own_reply_address_and_listen_port_travel_whole(binary32, spawn, peer):
    skip_unless_4555_free()
    copy = spawn(binary32, peer.port, "0", reply_ip="10.0.0.8")  # listens on 4555
    message = "twenty-bytes-message"
    copy.send_message(message)
    assert peer.receive() == [b"10.0.0.8\0", b"0\0", message.encode() + b"\0"]
    output = copy.child.before.decode()
    for i, length in enumerate((9, 2, 21)):
        assert (f"Packet[{i}]: setting host->setting port->setting length->{length}"
                f"setting channel...") in output
    assert "data_to_send" not in output
    copy.exit_normally()


def test_511_bytes_go_whole_and_512_are_refused(binary32, spawn, peer):
    copy = spawn(binary32, peer.port, free_port())
    copy.send_message("a" * 511)
    assert peer.receive()[2] == whole_payload(b"a" * 511)

    copy.command("send")
    copy.expect(" > ")
    copy.child.send("b" * 512 + "\r")
    copy.expect("Not sent: the message is 512 bytes long; a text may be at most 511 bytes.\r\n")
    assert peer.nothing_waiting()  # not even a partial vector

    copy.send_message("after")
    assert peer.receive()[2] == b"after\0"
    copy.exit_normally()


def test_quit_clears_the_screen_at_both_ends(binary32, spawn):
    port_a, port_b = free_port(), free_port()
    a = spawn(binary32, port_b, port_a)
    b = spawn(binary32, port_a, port_b)
    a.send_message("quit")
    a.expect("msg = quit\r\n")
    assert a.child.before.startswith(b"\r\n") and CLEAR in a.child.before
    a.expect("\r\nClient sent \"quit\" command!\r\n")
    b.expect("\t MSG: quit\r\n")
    b.expect("\r\nServer recieved \"quit\" signal from client!\r\n")
    assert CLEAR in b.child.before
    assert SCROLLBACK_ERASE not in a.child.before + b.child.before
    a.finish()
    b.finish()
    assert (a.child.exitstatus, b.child.exitstatus) == (0, 0)
