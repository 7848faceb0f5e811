#!/usr/bin/env bash
# Installs what a fresh machine lacks for cross-building the program for
# 64-bit ARM Linux and running its tests under qemu: the cross compiler and
# its binutils (addr2line), qemu's user-mode emulator, and the GoogleTest
# sources that the cross build compiles itself.
set -euo pipefail
. "$(dirname "$0")/install-missing.sh"
missing=()
command -v cmake >/dev/null || missing+=(cmake)
command -v make >/dev/null || missing+=(make)
command -v tmux >/dev/null || missing+=(tmux)
command -v python3 >/dev/null || missing+=(python3)
command -v aarch64-linux-gnu-g++ >/dev/null || missing+=(g++-aarch64-linux-gnu)
command -v aarch64-linux-gnu-addr2line >/dev/null || missing+=(binutils-aarch64-linux-gnu)
command -v qemu-aarch64 >/dev/null || command -v qemu-aarch64-static >/dev/null ||
  missing+=(qemu-user)
[ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(googletest)
APT_OPTIONS=--no-install-recommends install_missing "${missing[@]}"
