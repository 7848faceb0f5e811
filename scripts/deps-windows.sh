#!/usr/bin/env bash
# Installs what a fresh machine lacks for cross-building the Windows program
# and running its tests under Wine: mingw-w64 (POSIX threads), Wine, and the
# GoogleTest sources that the cross build compiles itself.
set -euo pipefail
. "$(dirname "$0")/install-missing.sh"
missing=()
command -v cmake >/dev/null || missing+=(cmake)
command -v make >/dev/null || missing+=(make)
command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-x86-64-posix)
command -v wine >/dev/null || missing+=(wine)
[ -x /usr/lib/wine/wine64 ] || missing+=(wine64)
[ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(googletest)
APT_OPTIONS=--no-install-recommends install_missing "${missing[@]}"
