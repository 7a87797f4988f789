"""Command line, confirmation summary, start-up announcements and set-up failures."""

import os
import socket
import subprocess

import pytest

from conftest import (LOOPBACK, READY, USAGE, command_for, free_port, port_is_free, run_plain,
                      skip_unless_4555_free, start_redirected, variant_of, wait_for)


def test_any_command_line_but_four_arguments_prints_usage_only(binary):
    four = ["127.0.0.1", "4556", "127.0.0.1"]
    for args in ([], four[:3], four + ["4555", "extra"], ["--help"], ["-h"], ["--version"],
                 ["-V"], ["--bogus"], [""]):
        result = run_plain(binary, args)
        assert (result.returncode, result.stdout, result.stderr) == (1, b"", USAGE), args


@pytest.mark.parametrize("output, reason", [
    (">/dev/full", b"Cannot write to standard output (No space left on device): ending.\n"),
    (">&-", b"Standard output is closed: there is nowhere to show messages.\n"),
    ("", b"Cannot write to standard output (Broken pipe): ending.\n"),
], ids=["full", "closed", "pipe-without-reader"])
def test_output_that_cannot_be_written_ends_the_copy_at_start(binary, output, reason):
    """No key or datagram comes, so the copy must notice by itself; SIGPIPE is
    ignored, so only the copy can say why it ends. Its port is not kept."""
    read_end, write_end = os.pipe()
    os.close(read_end)
    listen = free_port()
    try:
        result = subprocess.run(["bash", "-c", f"trap '' PIPE; exec \"$0\" \"$@\" </dev/null {output}",
                                 *command_for(binary), LOOPBACK, str(free_port()), LOOPBACK,
                                 str(listen)], stdout=write_end, stderr=subprocess.PIPE, timeout=10)
    finally:
        os.close(write_end)
    assert (result.returncode, result.stderr) == (1, reason)
    assert port_is_free(listen)


def test_summary_and_announcements(binary, spawn):
    dest, listen = free_port(), free_port()
    copy = spawn(binary, dest, listen, wait_ready=False)
    assert b"\x1b[3J" not in copy.startup  # the scrollback is kept
    summary = (f"\r\n   IP Address to connect to: 127.0.0.1"
               f"\r\n  Port number to connect to: {dest}"
               f"\r\n     IP address to reply to: 127.0.0.1"
               f"\r\nListen port to recieve from: {listen}")
    if variant_of(binary) == "i386":
        # The question waits for its answer before the screen is cleared.
        assert copy.startup == (summary + "\r\nIs this correct? [Y/n] ").encode()
    else:
        # The question is still buffered when "clear" runs, so it lands on top
        # of the cleared screen.
        before_clear, after_clear = copy.startup.split(b"\x1b[H\x1b[2J")
        assert before_clear == (summary + "\r\n").encode()
        assert after_clear.endswith(b"Is this correct? [Y/n] ")
    lines = [
        "",
        "Initializing SDL_net (sending)...Success!",
        f"Resolving server address (127.0.0.1 [{dest}])...Success!",
        "Opening random communication socket for sending...Success!",
        "Allocating memory for sending packets...Success!",
        f"Accepting connections on port: {listen}",
        "Initializing SDL_net (recieve)...Success!",
        f"Opening port {listen} for incoming connections...Success!",
        "Resolving destination address...Success!",
        READY,
        "",
    ]
    copy.expect("\r\n".join(lines) + "\r\n")
    copy.command("exit")
    copy.expect("\r\nTerminating program normally...\r\n")
    teardown = copy.finish().decode()
    expected = [
        "Shutting down sending client...",
        "Done!",
        "Shutting down recieving client...",
        "Freeing allocated memory for inbound packets...Done!",
        "Exiting SDLNet and terminating server...Done!",
        "Shutting down sending client...",
    ]
    if variant_of(binary) == "i386":
        expected.append("Freeing allocated memory for outbound packets...Done!")
    else:
        expected.append("Done!")
    expected.append("Exiting SDLNet and terminating server...Done!")
    assert teardown.split("\r\n")[:-1] == expected
    assert copy.child.exitstatus == 0


def test_listen_port_zero_defaults_to_4555(binary, spawn, peer):
    skip_unless_4555_free()
    copy = spawn(binary, free_port(), "0", wait_ready=False)
    copy.expect("\r\nNo port given...\r\nDefaulting to port 4555...\r\n"
                "Initializing SDL_net (recieve)...Success!\r\n"
                "Opening port 4555 for incoming connections...Success!")
    copy.expect(READY)
    peer.send([b"a\0", b"b\0", b"on4555\0"], 4555)
    copy.expect("\t MSG: on4555")
    copy.exit_normally()


def test_unresolvable_destination_fails_with_a_reason(binary):
    listen = free_port()
    result = run_plain(binary, ["no.such.host.invalid", "4556", LOOPBACK, str(listen)])
    assert result.returncode == 1
    prefix = b"FAILED!\nSDLNet_ResolveHost(no.such.host.invalid 4556): "
    assert result.stderr.startswith(prefix)
    reason = result.stderr[len(prefix):]
    assert reason.endswith(b"\n") and reason.strip(), "the failure gives no reason"
    assert result.stdout.endswith(b"Resolving server address (no.such.host.invalid [4556])...")
    assert b"Accepting connections" not in result.stdout


def test_listen_port_in_use_fails_with_a_reason(binary):
    holder = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    holder.bind(("0.0.0.0", 0))
    taken = holder.getsockname()[1]
    try:
        result = run_plain(binary, [LOOPBACK, str(free_port()), LOOPBACK, str(taken)])
    finally:
        holder.close()
    assert result.returncode == 1
    prefix = b"FAILED!\nSDLNet_UDP_Open(port): "
    assert result.stderr.startswith(prefix) and result.stderr[len(prefix):].strip()
    assert result.stdout.endswith(f"Opening port {taken} for incoming connections...".encode())
    assert b"Shutting down" not in result.stdout  # no teardown after a failed set-up


def test_descriptors_select_cannot_take_are_refused_not_aborted_on(binary, peer):
    """Sockets get the lowest free descriptors; SDL_net waits on them with
    select(), which takes none of 1024 or more."""
    def run_with_open(highest, datagrams, limit=4096):
        listen = free_port()
        inherit = (f'ulimit -n {limit}; for ((fd = 3; fd <= {highest}; fd++)); do '
                   'eval "exec $fd</dev/null"; done;')
        child = start_redirected(binary, listen, subprocess.PIPE, shell_setup=inherit)
        assert wait_for(lambda: child.poll() is not None or not port_is_free(listen), timeout=10)
        if child.poll() is None:
            peer.send(datagrams, listen)
        child.wait(timeout=10)  # what it prints fits in the pipes
        return child.returncode, child.stdout.read(), child.stderr.read()

    # The sockets would get 1023 and 1024; or, at the common limit of 1024,
    # only 1023, and the second none at all.
    for limit in (4096, 1024):
        status, out, err = run_with_open(1022, [], limit)
        assert (status, out) == (1, b"")
        assert err.startswith(b"Too many descriptors inherited: ") and err.count(b"\n") == 1

    # With two descriptors left below 1024, the copy works.
    status, out, err = run_with_open(1000, [b"a\0", b"b\0", b"quit\0"])
    assert status == 0, err
    assert b"\t MSG: quit\n" in out


def test_closed_standard_input_and_error_are_never_taken_by_a_socket(binary, peer):
    listen = free_port()
    child = subprocess.Popen(["bash", "-c", 'exec "$0" "$@" <&- 2>&-', *command_for(binary),
                              LOOPBACK, str(free_port()), LOOPBACK, str(listen)],
                             stdin=subprocess.DEVNULL, stdout=subprocess.PIPE)
    try:
        assert wait_for(lambda: not port_is_free(listen), timeout=10)
        for fd in (0, 2):
            assert os.readlink(f"/proc/{child.pid}/fd/{fd}") == "/dev/null"
        peer.send([b"a\0", b"b\0", b"quit\0"], listen)  # it works as with </dev/null
        assert b"\t MSG: quit\n" in child.communicate(timeout=10)[0]
        assert child.returncode == 0
    finally:
        child.kill()
        child.wait()
