"""The Debian package of each build: made by cpack, with the right contents,
architecture and dependencies, and the program it installs runs."""

import os
import re
import subprocess

import pytest

from conftest import USAGE, free_port, run_plain, variant_of


def build_dir_of(binary):
    build_dir = os.path.dirname(binary)
    cache = os.path.join(build_dir, "CMakeCache.txt")
    if not os.path.exists(cache):
        pytest.skip("not a CMake build tree")
    if re.search(r"^QUENNIMARD_SANITIZE:BOOL=ON$", open(cache).read(), re.M):
        pytest.skip("sanitizer builds are not packaged")
    return build_dir


def test_package_installs_a_working_program(binary, spawn, peer, tmp_path):
    config = os.path.join(build_dir_of(binary), "CPackConfig.cmake")
    subprocess.run(["cpack", "-G", "DEB", "--config", config, "-B", str(tmp_path)],
                   check=True, capture_output=True)
    [deb] = [os.path.join(tmp_path, f) for f in os.listdir(tmp_path) if f.endswith(".deb")]

    def field(name):
        return subprocess.run(["dpkg-deb", "-f", deb, name], capture_output=True,
                              text=True, check=True).stdout.strip()

    assert field("Architecture") == ("i386" if variant_of(binary) == "i386" else "amd64")
    assert "libsdl-net1.2" in field("Depends")
    contents = subprocess.run(["dpkg-deb", "-c", deb], capture_output=True, text=True).stdout
    for path in ("./usr/bin/quennimard", "./usr/share/man/man1/quennimard.1",
                 "./usr/share/doc/quennimard/copyright"):
        assert path in contents

    root = tmp_path / "root"
    subprocess.run(["dpkg", "-x", deb, str(root)], check=True)
    installed = str(root / "usr/bin/quennimard")
    assert run_plain(installed, []).stderr == USAGE
    copy = spawn(installed, peer.port, free_port())
    copy.send_message("packaged")
    assert peer.receive()[2].startswith(b"packaged")
    copy.exit_normally()
