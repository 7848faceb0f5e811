#!/usr/bin/env bash
# Installs what a fresh machine lacks for building and testing
# (`deps.sh fuzz`: also clang and its libFuzzer runtime; `deps.sh bench`:
# also valgrind and strace, which count the benchmark's instructions and calls).
set -euo pipefail
. "$(dirname "$0")/install-missing.sh"
missing=()
if [ "${1:-}" = fuzz ]; then
  command -v clang++ >/dev/null || missing+=(clang)
  compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null ||
    missing+=(libclang-rt-dev)
fi
if [ "${1:-}" = bench ]; then
  command -v valgrind >/dev/null || missing+=(valgrind)
  command -v strace >/dev/null || missing+=(strace)
fi
command -v cmake >/dev/null || missing+=(cmake)
command -v g++ >/dev/null || missing+=(g++)
command -v make >/dev/null || missing+=(make)
command -v tmux >/dev/null || missing+=(tmux)
command -v python3 >/dev/null || missing+=(python3)
command -v addr2line >/dev/null || missing+=(binutils)
# The manual page's test renders it with groff and, once installed, with man.
command -v groff >/dev/null || missing+=(groff-base)
command -v man >/dev/null || missing+=(man-db)
[ -f /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev)
[ -f /usr/include/gmock/gmock.h ] || missing+=(libgmock-dev)
install_missing "${missing[@]}"
