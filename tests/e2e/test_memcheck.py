"""A whole session under valgrind memcheck: start-up, help, show_dest_info,
sends, receives (hostile ones among them) and "quit", with no invalid access
and no definitely lost bytes."""

import re

import pytest

from conftest import (Peer, binaries, command_for, expected_vector, free_port, i386_on_host,
                      is_sanitized, label_of)

CHECKED = list(dict.fromkeys(binaries() + ([i386_on_host()] if i386_on_host() else [])))


def memcheck(log):
    return ["valgrind", "--tool=memcheck", f"--log-file={log}", "--error-exitcode=99",
            "--leak-check=full", "--show-leak-kinds=definite", "--errors-for-leak-kinds=definite"]


@pytest.mark.parametrize("binary", CHECKED, ids=label_of)
def test_session_is_clean_under_memcheck(binary, spawn, peer, tmp_path):
    if is_sanitized(binary):
        pytest.skip("valgrind cannot run a sanitized build; LeakSanitizer checks it")
    if command_for(binary) != [binary]:
        pytest.skip("this machine runs 32-bit programs only through qemu-i386, "
                    "which valgrind's x86 tool cannot run under")
    log = tmp_path / "memcheck.log"
    # Under valgrind a program runs many times slower, the more so emulated.
    copy = spawn(binary, peer.port, free_port(), wrapper=memcheck(log), patience=120)
    listen = int(copy.args[3])

    copy.command("help")
    copy.expect("display this message")
    copy.command("show_dest_info")
    copy.expect(f"Sending packets to 127.0.0.1 on port {peer.port}")
    for message in ("one", "a-message-longer-than-nine-bytes", "x" * 400):
        copy.send_message(message)
        assert peer.receive(timeout=120) == expected_vector(binary, copy, message.encode())

    # A lone datagram first: the slots it does not reach were never filled.
    other = Peer()
    for vector in ([b"lone"],
                   [b"127.0.0.1\0", b"4556\0", b"hello\0"],
                   [b"no-nul-at-all", b"\x1b[2J\x07\x7f\xc2\x9b\xe2\x80", b"z" * 600],
                   [b"", b"", b""]):
        other.send(vector, listen)
        copy.expect("Packet vector incoming!")
    other.close()

    copy.send_message("quit")
    copy.finish(timeout=120)
    report = log.read_text()
    summary = re.findall(r"(ERROR SUMMARY: .*|definitely lost: .*|in use at exit: .*)", report)
    print(f"\n{label_of(binary)}: " + "; ".join(summary))
    assert copy.child.exitstatus == 0, report
    assert "ERROR SUMMARY: 0 errors" in report, report
