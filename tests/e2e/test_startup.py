"""Command line, confirmation summary, start-up announcements and set-up failures."""

import socket
import subprocess

from conftest import (LOOPBACK, READY, USAGE, free_port, port_is_free, project_version,
                      run_plain, skip_unless_4555_free, start_redirected, variant_of, wait_for)


def test_wrong_argument_count_prints_usage_only(binary):
    for args in ([], ["127.0.0.1", "4556", "127.0.0.1"], ["a", "1", "b", "2", "extra"]):
        result = run_plain(binary, args)
        assert result.returncode == 1
        assert result.stderr == USAGE
        assert result.stdout == b""


def test_help_and_version_as_the_only_argument(binary):
    version = project_version()
    for option in ("--help", "-h"):
        result = run_plain(binary, [option])
        assert (result.returncode, result.stderr) == (0, b"")
        assert result.stdout.startswith(b"Usage: quennimard <other_ip> <other_ip's_send_port> "
                                        b"<reply_ip> <listen_port>\n")
        assert b"listen_port           the port this copy listens on" in result.stdout
    for option in ("--version", "-V"):
        result = run_plain(binary, [option])
        assert (result.returncode, result.stdout, result.stderr) == \
            (0, f"quennimard {version}\n".encode(), b"")
    for other in ("--helpme", "-v", "help", ""):
        result = run_plain(binary, [other])
        assert (result.returncode, result.stdout, result.stderr) == (1, b"", USAGE), other


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
    def run_with_open(highest, datagrams):
        listen = free_port()
        inherit = (f'ulimit -n 4096; for ((fd = 3; fd <= {highest}; fd++)); do '
                   'eval "exec $fd</dev/null"; done;')
        child = start_redirected(binary, listen, subprocess.PIPE, shell_setup=inherit)
        assert wait_for(lambda: child.poll() is not None or not port_is_free(listen), timeout=10)
        if child.poll() is None:
            peer.send(datagrams, listen)
        child.wait(timeout=10)  # what it prints fits in the pipes
        return child.returncode, child.stdout.read(), child.stderr.read()

    status, out, err = run_with_open(1023, [])
    assert (status, out) == (1, b"")
    assert err.startswith(b"Too many descriptors inherited: ") and err.count(b"\n") == 1

    # With two descriptors left below 1024, the copy works.
    status, out, err = run_with_open(1000, [b"a\0", b"b\0", b"quit\0"])
    assert status == 0, err
    assert b"\t MSG: quit\n" in out
