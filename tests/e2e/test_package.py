"""The Debian package of each build: made by cpack as scripts/package.sh makes
it, clean by lintian, hardened, the same bytes from two checkouts, with the
right contents and dependencies, and the program it installs runs."""

import os
import re
import shutil
import subprocess

import pytest

from conftest import (SOURCE_ROOT, USAGE, binaries, free_port, is_sanitized, project_version,
                      run_plain, variant_of)

HARDENING = ["Position Independent Executable", "Stack protected", "Fortify Source functions",
             "Read-only relocations", "Immediate binding"]


def build_dir_of(binary):
    build_dir = os.path.dirname(binary)
    if not os.path.exists(os.path.join(build_dir, "CMakeCache.txt")):
        pytest.skip("not a CMake build tree")
    if is_sanitized(binary):
        pytest.skip("sanitizer builds are not packaged")
    return build_dir


def assert_hardened(elf):
    report = subprocess.run(["hardening-check", "--nocfprotection", elf], capture_output=True,
                            text=True).stdout
    for feature in HARDENING:
        assert re.search(rf"^ {feature}: yes", report, re.M), report


def test_package_is_clean_hardened_and_installs_a_working_program(binary, spawn, peer, tmp_path):
    config = os.path.join(build_dir_of(binary), "CPackConfig.cmake")
    subprocess.run(["cpack", "-G", "DEB", "--config", config, "-B", str(tmp_path)],
                   check=True, capture_output=True)
    [deb] = [os.path.join(tmp_path, f) for f in os.listdir(tmp_path) if f.endswith(".deb")]

    def field(name):
        return subprocess.run(["dpkg-deb", "-f", deb, name], capture_output=True,
                              text=True, check=True).stdout.strip()

    assert field("Architecture") == ("i386" if variant_of(binary) == "i386" else "amd64")
    assert field("Version") == project_version()
    depends = field("Depends")
    for package in ("libc6 (>= ", "libstdc++6", "libsdl-net1.2", "libsdl1.2debian"):
        assert package in depends, depends
    lintian = subprocess.run(["lintian", "--pedantic", "--fail-on", "error,warning", deb],
                             capture_output=True, text=True)
    assert lintian.returncode == 0 and not re.search(r"^[EW]: ", lintian.stdout, re.M), \
        lintian.stdout + lintian.stderr

    root = tmp_path / "root"
    subprocess.run(["dpkg", "-x", deb, str(root)], check=True)
    for path in ("usr/share/man/man1/quennimard.1.gz", "usr/share/doc/quennimard/changelog.gz",
                 "usr/share/doc/quennimard/copyright"):
        assert (root / path).is_file(), path
    man_page = root / "usr/share/man/man1/quennimard.1.gz"
    lint = subprocess.run(["mandoc", "-Tlint", str(man_page)], capture_output=True, text=True)
    assert lint.returncode == 0 and not lint.stdout + lint.stderr, lint.stdout + lint.stderr
    installed = str(root / "usr/bin/quennimard")
    sections = subprocess.run(["readelf", "-S", installed], capture_output=True, text=True).stdout
    assert ".symtab" not in sections and ".debug_info" not in sections, "not stripped"
    assert_hardened(binary)
    assert_hardened(installed)

    assert run_plain(installed, []).stderr == USAGE
    copy = spawn(installed, peer.port, free_port())
    copy.send_message("packaged")
    assert peer.receive()[2].startswith(b"packaged")
    copy.exit_normally()


def checkout_of_this_tree(destination):
    """A clone of this repository holding its work tree as it is now."""
    subprocess.run(["git", "clone", "-q", "--shared", SOURCE_ROOT, str(destination)], check=True)
    listed = subprocess.run(["git", "ls-files", "-z", "-co", "--exclude-standard"],
                            cwd=SOURCE_ROOT, capture_output=True, check=True).stdout
    for name in filter(None, listed.decode().split("\0")):
        source, copy = os.path.join(SOURCE_ROOT, name), destination / name
        if os.path.exists(source):
            copy.parent.mkdir(parents=True, exist_ok=True)
            shutil.copy(source, copy)  # a new file time, as a checkout gets
        elif copy.exists():
            copy.unlink()


def test_two_checkouts_give_the_same_package(tmp_path):
    if not os.path.isdir(os.path.join(SOURCE_ROOT, ".git")):
        pytest.skip("not a git checkout")
    if any(is_sanitized(b) for b in binaries()):
        pytest.skip("checked once, in the run of the plain build")
    env = {k: v for k, v in os.environ.items() if k != "SOURCE_DATE_EPOCH"}
    packages = []
    for name in ("first", "second-checkout-in-another-folder"):
        checkout = tmp_path / name
        checkout_of_this_tree(checkout)
        made = subprocess.run(["bash", "scripts/package.sh", "amd64"], cwd=checkout, env=env,
                              capture_output=True, text=True)
        assert made.returncode == 0, made.stdout + made.stderr
        packages.append((checkout / "build" / f"quennimard_{project_version()}_amd64.deb")
                        .read_bytes())
    assert packages[0] == packages[1], "two checkouts of one commit give different packages"
