"""Command line, confirmation summary, start-up announcements and set-up failures."""

import os
import random
import re
import signal
import socket
import subprocess

import pytest

from conftest import (LOOPBACK, READY, USAGE, command_for, failing, free_port, in_namespaces,
                      is_coverage_build, is_sanitized, offline, port_is_free, run_plain,
                      skip_under_emulator, skip_unless_4555_free, start_redirected, variant_of,
                      wait_for)


def test_any_command_line_but_four_arguments_prints_usage_only(binary):
    four = ["127.0.0.1", "4556", "127.0.0.1"]
    for args in ([], four[:3], four + ["4555", "extra"], ["--help"], ["-h"], ["--version"],
                 ["-V"], ["--bogus"], [""]):
        result = run_plain(binary, args)
        assert (result.returncode, result.stdout, result.stderr) == (1, b"", USAGE), args
    # The count is checked first, also with standard output closed.
    closed = subprocess.run(["bash", "-c", 'exec "$0" "$@" >&-', *command_for(binary), "--help"],
                            capture_output=True, timeout=10)
    assert (closed.returncode, closed.stderr) == (1, USAGE)


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


def test_unresolvable_destination_fails_with_the_library_text_even_when_empty(binary, tmp_path):
    listen = free_port()
    result = run_plain(binary, ["no.such.host.invalid", "4556", LOOPBACK, str(listen)],
                       wrapper=offline(tmp_path))
    assert result.returncode == 1
    # SDL_net sets no error text for a name that does not resolve.
    assert result.stderr == b"FAILED!\nSDLNet_ResolveHost(no.such.host.invalid 4556): \n"
    assert result.stdout.endswith(b"Resolving server address (no.such.host.invalid [4556])...")
    assert b"Accepting connections" not in result.stdout


def test_each_failing_set_up_step_ends_with_its_exact_text(binary):
    """Each SDL_net set-up call of both services fails in turn: the text names
    the call and ends with SDL's error text; the step's progress text is the
    last thing on standard output, and nothing is torn down."""
    dest, listen = free_port(), free_port()
    send_buffer = 512 if variant_of(binary) == "i386" else 1024
    steps = [  # the call made to fail, its count, the failure text, the progress text
        ("SDLNet_Init:1", "SDLNet_Init", "Initializing SDL_net (sending)..."),
        ("SDLNet_ResolveHost:1", f"SDLNet_ResolveHost(127.0.0.1 {dest})",
         f"Resolving server address (127.0.0.1 [{dest}])..."),
        ("SDLNet_UDP_Open:1", "SDLNet_UDP_Open(0)",
         "Opening random communication socket for sending..."),
        ("SDLNet_AllocPacketV:1", f"SDLNet_AllocPacketV(3, {send_buffer})",
         "Allocating memory for sending packets..."),
        ("SDLNet_Init:2", "SDLNet_Init", "Initializing SDL_net (recieve)..."),
        ("SDLNet_UDP_Open:2", "SDLNet_UDP_Open(port)",
         f"Opening port {listen} for incoming connections..."),
        ("SDLNet_ResolveHost:2", f"SDLNet_ResolveHost(127.0.0.1 {listen})",
         "Resolving destination address..."),
        ("SDLNet_AllocPacketV:2", "SDLNet_AllocPacket(512)",
         "Allocating memory for recieving packets..."),
        ("SDLNet_AllocSocketSet:1", "SDLNet_AllocSocketSet(1)", READY + "\n\n"),
    ]
    for fail, call, progress in steps:
        error = f"injected into {fail}"
        result = subprocess.run(
            [*command_for(binary), LOOPBACK, str(dest), LOOPBACK, str(listen)], input=b"y\n",
            capture_output=True, timeout=10,
            env=dict(os.environ, **failing(binary, fail, error)))
        assert result.returncode == 1, fail
        assert result.stderr == f"FAILED!\n{call}: {error}\n".encode()
        assert result.stdout.endswith(progress.encode()), fail
        assert b"Shutting down" not in result.stdout


def test_memory_running_out_is_a_failure_with_a_reason_never_an_abort(binary, peer):
    """Under ulimit -v, from the lowest limit at which the program runs at all
    up to where the copy runs and takes a flood: every run either works or
    ends with status 1 and its reason (a set-up failure text, or one line).
    With a reply address of 128 KiB, the most one argument may be, which the
    program copies on its own heap once the libraries are loaded, the x86-64
    build ends with its own "Out of memory: ending." at such a limit."""
    skip_under_emulator(binary, "the memory limit is the emulator's, not the program's")
    if is_sanitized(binary):
        pytest.skip("a sanitizer needs far more address space")
    if is_coverage_build(binary):
        pytest.skip("gcov's own writer at exit does not check its allocation")

    def run(limit_kb, reply_ip):
        listen = free_port()
        child = start_redirected(binary, listen, subprocess.DEVNULL, reply_ip=reply_ip,
                                 shell_setup=f"ulimit -v {limit_kb};")
        try:
            assert wait_for(lambda: child.poll() is not None or not port_is_free(listen),
                            timeout=10)
            if child.poll() is None:
                for _ in range(3000):
                    peer.send([os.urandom(random.randrange(1, 600))], listen)
            # Datagrams dropped by a full queue shift the slots: "quit" is
            # sent until it lands in the MSG slot, each time after a pause
            # longer than the copy waits for the rest of a vector.
            assert wait_for(lambda: child.poll() is not None or
                            peer.send([b"a\0", b"b\0", b"quit\0"], listen), timeout=10,
                            step=0.25)
            status, errors = child.returncode, child.stderr.read()
        finally:
            child.kill()
            child.wait()
        if not before_main(status, errors):
            one_reason = re.fullmatch(rb"(FAILED!\n)?[^\n]+\n", errors)
            assert status == 0 or (status == 1 and one_reason), (limit_kb, status, errors)
        return status, errors

    def endings_above_the_libraries(reply_ip):
        loads, works = 4096, 131072  # KiB
        while works - loads > 16:
            middle = (loads + works) // 2
            if before_main(*run(middle, reply_ip)):
                loads = middle
            else:
                works = middle
        # Where SDL2 (and SDL3) are loaded, what they map varies from run to
        # run, so the library may still fail now and then above that limit.
        endings = set()
        for limit in range(works, works + 512, 8):
            status, errors = run(limit, reply_ip)
            assert not before_main(status, errors) or compat_library_failed(status, errors), limit
            endings.add(errors)
        return endings

    endings_above_the_libraries(LOOPBACK)
    # The 32-bit build refuses so long a reply address.
    if variant_of(binary) == "x86_64":
        endings = endings_above_the_libraries(LOOPBACK + " " * (128 * 1024 - 10))
        assert b"Out of memory: ending.\n" in endings, endings


def before_main(status, errors):
    """The failures of the dynamic loader, and of sdl12-compat (SDL 1.2 on
    Debian 13 and later), which loads SDL2 while the program is being loaded
    and aborts when it cannot, as sdl2-compat does with SDL3 on unstable:
    either way the program itself never ran."""
    return (status == 127 or b"error while loading shared libraries" in errors or
            compat_library_failed(status, errors))


def compat_library_failed(status, errors):
    return status == -signal.SIGABRT and re.fullmatch(
        rb"(sdl12-compat: )?Failed loading SDL[23] library\.\n", errors) is not None


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
    skip_under_emulator(binary, "the descriptor limit meets the emulator's own libraries first")
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

    # Where /dev/null cannot be opened either (no /dev in a mount namespace of
    # its own), the copy says so and ends before anything else.
    without_dev = in_namespaces("-m", 'mount -t tmpfs none /dev && exec "$@" <&-')
    result = subprocess.run([*without_dev, *command_for(binary), LOOPBACK, str(free_port()),
                             LOOPBACK, str(free_port())], capture_output=True, timeout=10)
    assert (result.returncode, result.stdout) == (1, b"")
    assert result.stderr == (b"Standard input is closed, and /dev/null cannot be opened "
                             b"(No such file or directory): ending.\n")
