"""Hostile command lines: empty, 100 KB, non-numeric, negative, huge and
16-bit-overflowing texts. Each either fails with a message and status 1, or
runs with the documented conversion; none crashes or hangs."""

import socket

from conftest import LOOPBACK, free_port, run_plain, variant_of

HUGE = "a" * 100_000


def port_is_held(port):
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        try:
            probe.bind(("0.0.0.0", port))
            return False
        except OSError:
            return True


def test_unresolvable_destinations_fail_with_a_reason(binary):
    for dest_ip in ("", HUGE, "no.such.host.invalid", "999.1.1.1"):
        result = run_plain(binary, [dest_ip, "4556", LOOPBACK, str(free_port())])
        prefix = f"FAILED!\nSDLNet_ResolveHost({dest_ip} 4556): ".encode()
        assert result.returncode == 1, dest_ip[:20]
        assert result.stderr.startswith(prefix) and result.stderr[len(prefix):].strip()


def test_listen_port_texts_convert_like_atoi_low_16_bits(binary, spawn):
    cases = {"-1": 65535, "70000": 70000 - 65536, "9" * 100_000: 65535, " +4321x": 4321}
    for text, port in cases.items():
        if port_is_held(port):
            continue  # somebody else's socket: nothing to learn from this case
        copy = spawn(binary, free_port(), text)
        assert port_is_held(port), f"{text[:12]!r} should listen on {port}"
        copy.exit_normally()


def test_odd_texts_still_run_and_are_shown_as_typed(binary, spawn, peer):
    copy = spawn(binary, "", free_port(), reply_ip=HUGE)  # destination port 0
    copy.command("show_dest_info")
    copy.expect("\r\nSending packets to 127.0.0.1 on port \r\n")
    copy.command("send")
    copy.expect(" > ")
    copy.child.send("hello\r")
    if variant_of(binary) == "i386":  # the reply address travels, and is too long
        copy.expect("Not sent: the reply address is 100000 bytes long; "
                    "a text may be at most 511 bytes.\r\n")
    else:
        copy.expect("Error sending packet!\r\n")  # port 0 is refused
    copy.exit_normally()
