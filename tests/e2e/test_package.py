"""The Debian packages, made by scripts/package.sh through dpkg-buildpackage:
lintian-clean with their .changes and the source package (which holds only
the tracked files), hardened, stripped with the symbols in -dbgsym, the same
bytes from another checkout built another way, the build options and a
binNMU version honoured, and the program installed runs."""

import os
import re
import shutil
import subprocess

import pytest

from conftest import (SOURCE_ROOT, USAGE, binaries, free_port, is_sanitized, project_version,
                      run_plain)

HARDENING = ["Position Independent Executable", "Stack protected", "Fortify Source functions",
             "Read-only relocations", "Immediate binding"]

pytestmark = [
    pytest.mark.skipif("AUTOPKGTEST_TMP" in os.environ,
                       reason="the installed package is what an autopkgtest tests"),
    pytest.mark.skipif("QUENNIMARD_SKIP_PACKAGES" in os.environ,
                       reason="test.sh --suites-only leaves the packages out"),
    pytest.mark.skipif(any(is_sanitized(b) for b in binaries()),
                       reason="packages are made once, in the run of the plain builds"),
]


@pytest.fixture(scope="module")
def package_folders():
    """Both packages, made as the README says."""
    made = subprocess.run(["bash", "scripts/package.sh"], cwd=SOURCE_ROOT, capture_output=True,
                          text=True)
    assert made.returncode == 0, made.stdout + made.stderr
    return {arch: os.path.join(SOURCE_ROOT, "build-deb", arch) for arch in ("amd64", "i386")}


def deb_in(folder, name="quennimard", arch="amd64"):
    return os.path.join(folder, f"{name}_{project_version()}_{arch}.deb")


def assert_lintian_clean(changes):
    lintian = subprocess.run(["lintian", "--pedantic", "-I", "-E", "--fail-on", "error,warning",
                              changes], capture_output=True, text=True)
    assert lintian.returncode == 0 and not re.search(r"^[EW]: ", lintian.stdout, re.M), \
        lintian.stdout + lintian.stderr


def assert_hardened(elf):
    report = subprocess.run(["hardening-check", "--nocfprotection", elf], capture_output=True,
                            text=True).stdout
    for feature in HARDENING:
        assert re.search(rf"^ {feature}: yes", report, re.M), report


def build_id(elf):
    notes = subprocess.run(["readelf", "-n", elf], capture_output=True, text=True).stdout
    return re.search(r"Build ID: ([0-9a-f]+)", notes).group(1)


@pytest.mark.parametrize("arch", ["amd64", "i386"])
def test_package_is_clean_hardened_and_installs_a_working_program(package_folders, arch, spawn,
                                                                   peer, tmp_path):
    folder = package_folders[arch]
    deb = deb_in(folder, arch=arch)
    assert_lintian_clean(os.path.join(folder, f"quennimard_{project_version()}_{arch}.changes"))

    def field(name):
        return subprocess.run(["dpkg-deb", "-f", deb, name], capture_output=True,
                              text=True, check=True).stdout.strip()

    assert (field("Architecture"), field("Version")) == (arch, project_version())
    for package in ("libc6 (>= ", "libstdc++6", "libsdl-net1.2", "libsdl1.2debian"):
        assert package in field("Depends")

    root, symbols = tmp_path / "root", tmp_path / "dbgsym"
    subprocess.run(["dpkg", "-x", deb, str(root)], check=True)
    subprocess.run(["dpkg", "-x", deb_in(folder, "quennimard-dbgsym", arch), str(symbols)],
                   check=True)
    for path in ("usr/share/man/man1/quennimard.1.gz", "usr/share/doc/quennimard/changelog.gz"):
        assert (root / path).is_file(), path
    assert "License: Expat" in (root / "usr/share/doc/quennimard/copyright").read_text()
    lint = subprocess.run(["mandoc", "-Tlint", "-Wall", str(root / "usr/share/man/man1/"
                                                            "quennimard.1.gz")],
                          capture_output=True, text=True)
    assert lint.returncode == 0 and not lint.stdout + lint.stderr, lint.stdout + lint.stderr

    installed = str(root / "usr/bin/quennimard")
    sections = subprocess.run(["readelf", "-S", installed], capture_output=True, text=True).stdout
    assert ".symtab" not in sections and ".debug_info" not in sections, "not stripped"
    identity = build_id(installed)
    assert (symbols / f"usr/lib/debug/.build-id/{identity[:2]}/{identity[2:]}.debug").is_file()
    assert_hardened(installed)

    assert run_plain(installed, []).stderr == USAGE
    copy = spawn(installed, peer.port, free_port())
    copy.send_message("packaged")
    assert peer.receive()[2].startswith(b"packaged")
    copy.exit_normally()


def listed_files():
    """What git tracks (or would) in this tree, deleted files included."""
    listed = subprocess.run(["git", "ls-files", "-z", "-co", "--exclude-standard"],
                            cwd=SOURCE_ROOT, capture_output=True, check=True).stdout.decode()
    return [name for name in listed.split("\0") if name]


def tracked_files():
    """The files of this tree as the source package must hold them:
    dpkg-source always leaves out .gitignore."""
    return sorted(name for name in listed_files() if name != ".gitignore"
                  and os.path.exists(os.path.join(SOURCE_ROOT, name)))


def test_source_package_is_lintian_clean_and_holds_only_the_tracked_files(package_folders):
    if not os.path.isdir(os.path.join(SOURCE_ROOT, ".git")):
        pytest.skip("not a git checkout")
    tree = os.path.join(package_folders["amd64"], f"quennimard-{project_version()}")
    for litter in ("build/quennimard", "build-i386/CMakeCache.txt", "build-deb/amd64/x.deb",
                   "obj-i686-linux-gnu/CMakeCache.txt", "tests/e2e/__pycache__/conftest.pyc"):
        os.makedirs(os.path.dirname(os.path.join(tree, litter)), exist_ok=True)
        open(os.path.join(tree, litter), "w").close()
    made = subprocess.run(["dpkg-buildpackage", "-S", "-us", "-uc"], cwd=tree,
                          capture_output=True, text=True)
    assert made.returncode == 0, made.stdout + made.stderr
    assert_lintian_clean(os.path.join(package_folders["amd64"],
                                      f"quennimard_{project_version()}_source.changes"))
    tarball = os.path.join(package_folders["amd64"], f"quennimard_{project_version()}.tar.xz")
    members = subprocess.run(["tar", "-tJf", tarball], capture_output=True, text=True,
                             check=True).stdout.split()
    files = sorted(name.split("/", 1)[1] for name in members if not name.endswith("/"))
    assert files == tracked_files()


def checkout_of_this_tree(destination):
    """A clone of this repository holding its work tree as it is now."""
    subprocess.run(["git", "clone", "-q", "--shared", SOURCE_ROOT, str(destination)], check=True)
    for name in listed_files():
        source, copy = os.path.join(SOURCE_ROOT, name), destination / name
        if os.path.exists(source):
            copy.parent.mkdir(parents=True, exist_ok=True)
            shutil.copy(source, copy)  # a new file time, as a checkout gets
        elif copy.exists():
            copy.unlink()


def test_another_checkout_built_another_way_gives_the_same_package(package_folders, tmp_path):
    """In another folder, later, under umask 077, by dpkg-buildpackage in the
    tree itself; then with nostrip and noopt, which must be honoured."""
    if not os.path.isdir(os.path.join(SOURCE_ROOT, ".git")):
        pytest.skip("not a git checkout")
    checkout = tmp_path / "another" / "checkout"
    checkout_of_this_tree(checkout)
    env = {k: v for k, v in os.environ.items() if k not in ("SOURCE_DATE_EPOCH",
                                                            "DEB_BUILD_OPTIONS")}

    def build(options=""):
        made = subprocess.run(["sh", "-c", "umask 077; exec dpkg-buildpackage -us -uc -b"],
                              cwd=checkout, capture_output=True, text=True,
                              env=dict(env, DEB_BUILD_OPTIONS=options))
        assert made.returncode == 0, made.stdout + made.stderr
        return made.stdout

    build()
    for name in ("quennimard", "quennimard-dbgsym"):
        with open(deb_in(tmp_path / "another", name), "rb") as theirs, \
                open(deb_in(package_folders["amd64"], name), "rb") as ours:
            assert theirs.read() == ours.read(), f"{name}: not the same bytes"

    for build_tree in checkout.glob("obj-*"):  # the next build starts afresh
        shutil.rmtree(build_tree)
    # As a binNMU: the package takes the whole version, the program its
    # upstream part, and the man page the entry's date.
    changelog = checkout / "debian" / "changelog"
    binnmu = f"{project_version()}+b1"
    changelog.write_text(f"quennimard ({binnmu}) unstable; urgency=low, binary-only=yes\n\n"
                         "  * Binary-only non-maintainer upload; no source changes.\n\n"
                         " -- A Builder <builder@quennimard.invalid>  Fri, 01 Jan 2027 18:00:00 +0000\n\n"
                         + changelog.read_text())
    log = build("nostrip noopt")
    root = tmp_path / "unstripped"
    subprocess.run(["dpkg", "-x", str(tmp_path / "another" / f"quennimard_{binnmu}_amd64.deb"),
                    str(root)], check=True)
    manual = subprocess.run(["zcat", str(root / "usr/share/man/man1/quennimard.1.gz")],
                            capture_output=True, text=True, check=True).stdout
    assert f'.TH QUENNIMARD 1 2027-01-01 "quennimard {project_version()}"' in manual
    sections = subprocess.run(["readelf", "-S", str(root / "usr/bin/quennimard")],
                              capture_output=True, text=True).stdout
    assert ".debug_info" in sections, "nostrip was not honoured"
    compiles = [line for line in log.splitlines() if "main.cpp.o -c" in line]
    assert compiles and all(" -O0 " in line and " -O2 " not in line for line in compiles)
