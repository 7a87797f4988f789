#!/usr/bin/env bash
# Prints the Debian release that chroots and testbeds are made of:
# QUENNIMARD_RELEASE if set (bookworm, trixie, sid...), else this machine's
# own. Testing and unstable both name the next release in os-release and
# "NEXT/sid" in debian_version; the suites APT takes packages from tell them
# apart: sid where one is sid or unstable.
set -euo pipefail
if [[ -n ${QUENNIMARD_RELEASE:-} ]]; then
    echo "$QUENNIMARD_RELEASE"
elif grep -q '/sid$' /etc/debian_version 2>/dev/null &&
        grep -rhsE '^[^#]*[[:space:]](sid|unstable)([[:space:]]|$)' /etc/apt/sources.list \
            /etc/apt/sources.list.d/ >/dev/null; then
    echo sid
else
    # shellcheck source=/dev/null
    (. /etc/os-release && echo "${VERSION_CODENAME:?no release named in /etc/os-release}")
fi
