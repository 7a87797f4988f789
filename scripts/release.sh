#!/usr/bin/env bash
# Prints the Debian release that chroots and testbeds are made of:
# QUENNIMARD_RELEASE if set (bookworm, trixie, sid...), else this machine's
# own (sid on unstable, whose os-release names the next release instead).
set -euo pipefail
if [[ -n ${QUENNIMARD_RELEASE:-} ]]; then
    echo "$QUENNIMARD_RELEASE"
elif grep -q '/sid$' /etc/debian_version 2>/dev/null; then
    echo sid
else
    # shellcheck source=/dev/null
    (. /etc/os-release && echo "${VERSION_CODENAME:?no release named in /etc/os-release}")
fi
