"""Hostile command lines: empty, 100 KB, non-numeric, negative, huge and
16-bit-overflowing texts, and texts with control bytes. Each either fails
with a message and status 1 before anything starts, or runs; none crashes or
hangs, and none reaches the terminal raw. Port texts are read as atoi reads
them."""

import re

from conftest import LOOPBACK, expected_vector, free_port, offline, run_plain, variant_of

HUGE = "a" * 100_000


def escaped(text):
    """An ASCII argument as the copy shows it: a control byte or a backslash
    as \\xhh, the rest as it is."""
    return re.sub(r"[^\x20-\x5b\x5d-\x7e]", lambda byte: f"\\x{ord(byte.group()):02x}", text)


def test_unresolvable_destinations_fail_with_the_library_text(binary, tmp_path):
    for dest_ip in ("", HUGE, "no.such.host.invalid", "999.1.1.1", "\x1b]0;PWNED\x07\\x"):
        result = run_plain(binary, [dest_ip, "4556\x1b[2J", LOOPBACK, str(free_port())],
                           wrapper=offline(tmp_path))
        assert result.returncode == 1, dest_ip[:20]
        assert result.stderr == (f"FAILED!\nSDLNet_ResolveHost({escaped(dest_ip)} "
                                 "4556\\x1b[2J): \n").encode()
        assert b"\x1b" not in result.stdout


BAD_PORTS = ["abc", "", "65536", "70000", "-1", "-0", "+", "0x1F", "9" * 100_000]


def test_bad_port_texts_are_refused_before_anything_starts(binary):
    cases = [("destination", bad) for bad in BAD_PORTS + ["0"]]
    cases += [("listen", bad) for bad in BAD_PORTS + ["00"]]
    for which, bad in cases:
        good = str(free_port())
        dest_port, listen_port = (bad, good) if which == "destination" else (good, bad)
        result = run_plain(binary, [LOOPBACK, dest_port, LOOPBACK, listen_port])
        assert result.returncode == 1, bad[:12]
        assert result.stdout == b"", bad[:12]  # no summary, question or clear
        shown = bad[:40] + ("..." if len(bad) > 40 else "")
        assert result.stderr.startswith(f'Invalid {which} port "{shown}": '.encode())
        assert result.stderr.count(b"\n") == 1

    # Quoted in an 8-bit locale, no C1 control byte reaches the terminal.
    result = run_plain(binary, [LOOPBACK, "\u00db2J", LOOPBACK, "1"], env={"LC_ALL": "C"})
    assert result.stderr.startswith(b'Invalid destination port "\xc3\\x9b2J": ')


def test_port_texts_are_read_as_atoi_reads_them(binary, spawn, peer):
    listen = free_port()
    copy = spawn(binary, f" +0{peer.port}", f"{listen}x")
    copy.send_message("hello")
    assert peer.receive()[2].startswith(b"hello")
    peer.send([b"a\0", b"b\0", b"back\0"], listen)
    copy.expect("\t MSG: back\r\n")
    copy.exit_normally()


def test_long_reply_address_and_listen_port(binary, spawn, peer):
    """The x86-64 build never sends its reply address or listen port; the
    32-bit build sends both whole, so either over 511 bytes is refused at
    start, also a listen port whose digits name a good port."""
    listen = free_port()
    if variant_of(binary) == "i386":
        long_port = f"{listen}" + "x" * 700
        for reply_ip, listen_port, name, text in ((HUGE, str(listen), "reply address", HUGE),
                                                  (LOOPBACK, long_port, "listen port", long_port)):
            result = run_plain(binary, [LOOPBACK, str(peer.port), reply_ip, listen_port])
            assert (result.returncode, result.stdout) == (1, b"")
            assert result.stderr == (f'Invalid {name} "{text[:40]}...": it is {len(text)} bytes '
                                     "long; it may be at most 511 bytes.\n").encode()
        reply_ip, listen_port = "r" * 511, f"{listen}".ljust(511, "x")
    else:
        reply_ip, listen_port = HUGE, f"{listen}" + "x" * 700
    copy = spawn(binary, peer.port, listen_port, reply_ip=reply_ip)
    copy.send_message("hello")
    assert peer.receive() == expected_vector(binary, copy, b"hello")
    copy.exit_normally()


def test_arguments_are_shown_escaped_wherever_they_are_shown(binary, spawn, peer):
    """An argument often comes from a script or a file: the summary, the
    set-up lines and show_dest_info show its control bytes escaped."""
    listen = free_port()
    # "\udc9b" is the lone byte 0x9b (CSI on an 8-bit terminal) in argv.
    dest_port, listen_port = f"{peer.port}\x1b]0;PWNED\x07\\", f"{listen}\udc9b\x1b[2J"
    shown_listen_port = f"{listen}\\x9b\\x1b[2J"
    copy = spawn(binary, dest_port, listen_port, reply_ip="\x1b[31mred\\")
    output = copy.startup + copy.child.before
    for line in (f"  Port number to connect to: {escaped(dest_port)}",
                 "     IP address to reply to: \\x1b[31mred\\x5c",
                 f"Listen port to recieve from: {shown_listen_port}",
                 f"Resolving server address (127.0.0.1 [{escaped(dest_port)}])...",
                 f"Accepting connections on port: {shown_listen_port}",
                 f"Opening port {shown_listen_port} for incoming connections..."):
        assert line.encode() in output, line
    copy.command("show_dest_info")
    copy.expect(f"Sending packets to 127.0.0.1 on port {escaped(dest_port)}\r\n")
    output += copy.child.before + copy.child.after + copy.exit_normally()
    assert not re.search(rb"[\x07\x1b\x9b]", output.replace(b"\x1b[H\x1b[2J", b""))
