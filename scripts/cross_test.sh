#!/usr/bin/env bash
# Builds and tests lumo for another platform or standard library than the
# machine's own. TARGET is one of:
#   libcxx   the engine built with clang and libc++, its tests run natively;
#   windows  the engine and its tests built with mingw-w64, run under Wine;
#   aarch64  the engine, its tests and the module cross-built for arm64 Linux,
#            run under qemu-user, and a repaired manylinux aarch64 wheel.
# Each target installs the system packages it needs. --quick runs the part
# that CI has time for; each target's script says what that leaves out.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() { echo "usage: scripts/cross_test.sh {libcxx|windows|aarch64} [--quick]" >&2; exit 2; }
[ $# -ge 1 ] || usage
target=$1
shift
case "${1:-}" in
  --quick | "") ;;
  *) usage ;;
esac
[ $# -le 1 ] || usage
case "$target" in
  libcxx | windows | aarch64) exec "scripts/cross/$target.sh" "$@" ;;
  *) usage ;;
esac
