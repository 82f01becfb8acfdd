#!/usr/bin/env bash
# Sets everything up and runs every check: the engine tests (plain, then
# under AddressSanitizer and UndefinedBehaviorSanitizer with the
# allocation-failure tests, then the threaded ones under ThreadSanitizer),
# the Python tests (with the one on a text past 2**32 bytes where memory
# allows), a short soak and a short session under valgrind, the fuzz
# harnesses over their corpora and briefly beyond, the packaging and type
# checks, the engine on other targets (libc++, Windows under Wine, 64-bit
# Arm Linux under qemu), the documentation site, and the include, formatting
# and lint checks.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
export PATH="$PWD/.venv/bin:$PATH"
jobs=$(nproc)
# The allocation-failure sweep in fresh processes, every 61st allocation
# (the full sweep takes minutes: LUMO_FAILURE_STRIDE=1).
export LUMO_FAILURE_STRIDE=${LUMO_FAILURE_STRIDE:-61}

for variant in engine asan tsan; do
  sanitize=OFF
  threads=OFF
  fail_allocations=OFF
  build_type=Release
  tests=.
  if [ "$variant" = asan ]; then sanitize=ON; fail_allocations=ON; build_type=Debug; fi
  if [ "$variant" = tsan ]; then
    threads=ON
    build_type=RelWithDebInfo
    tests='Thread|Join|FastPathConversion.*/All'
  fi
  cmake -S . -B "out/$variant" -G Ninja -DCMAKE_BUILD_TYPE="$build_type" \
    -DLUMO_BUILD_MODULE=OFF -DLUMO_BUILD_TESTS=ON -DLUMO_SANITIZE="$sanitize" \
    -DLUMO_SANITIZE_THREADS="$threads" -DLUMO_FAIL_ALLOCATIONS="$fail_allocations" >/dev/null
  cmake --build "out/$variant" -j "$jobs"
  ctest --test-dir "out/$variant" --output-on-failure -j "$jobs" -R "$tests"
done

LUMO_HUGE_TESTS=1 python -m pytest -q

# Scaled down: docs/reliability.md gives the full runs.
python scripts/soak.py --calls 20000
python scripts/memcheck.py --calls 5000

# Every fuzz harness replays its corpus, then fuzzes for half a minute.
scripts/fuzz.sh check 30

# lumo as users install it: the sdist, the manylinux wheel built from the
# sdist alone, and its types, checked in a fresh environment.
scripts/check_packaging.sh

# The oldest and newest supported interpreters too, where the machine has them.
if command -v pyenv >/dev/null 2>&1; then
  for version in 3.9 3.13; do
    interpreter=$(ls -d "$(pyenv root)"/versions/"$version".*/bin/python 2>/dev/null | tail -n 1)
    [ -n "$interpreter" ] || continue
    venv="out/venv-$version"
    [ -x "$venv/bin/python" ] || "$interpreter" -m venv "$venv"
    "$venv/bin/python" -m pip install -q ".[test]"
    "$venv/bin/python" -m pytest -q -p no:cacheprovider
  done
fi

# Other targets: the engine with clang and libc++ whole; Windows under Wine
# and 64-bit Arm Linux under qemu-user in their quick form (without the
# long fast-path differential tests, and under qemu a subset of the Python
# tests). docs/platforms.md gives the full runs.
scripts/cross_test.sh libcxx
scripts/cross_test.sh windows --quick
scripts/cross_test.sh aarch64 --quick

# The docs site, built with warnings as errors, checked and looked at in a
# browser (screenshots in out/site-shots).
scripts/docs.sh

# The includes between the rooms of src/ run one way.
python tools/check_includes.py
ruff check .
ruff format --check .
git ls-files '*.cc' '*.h' | xargs clang-format --dry-run --Werror
echo "all checks passed"
