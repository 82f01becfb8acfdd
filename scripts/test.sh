#!/usr/bin/env bash
# Sets everything up and runs every check: the engine tests (plain, then
# under AddressSanitizer and UndefinedBehaviorSanitizer), the Python tests,
# and the formatting and lint checks.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
export PATH="$PWD/.venv/bin:$PATH"
jobs=$(nproc)

for variant in engine asan; do
  sanitize=OFF
  build_type=Release
  if [ "$variant" = asan ]; then sanitize=ON; build_type=Debug; fi
  cmake -S . -B "out/$variant" -G Ninja -DCMAKE_BUILD_TYPE="$build_type" \
    -DLUMO_BUILD_MODULE=OFF -DLUMO_BUILD_TESTS=ON -DLUMO_SANITIZE="$sanitize" >/dev/null
  cmake --build "out/$variant" -j "$jobs"
  ctest --test-dir "out/$variant" --output-on-failure -j "$jobs"
done

python -m pytest -q

ruff check .
ruff format --check .
git ls-files '*.cc' '*.h' | xargs clang-format --dry-run --Werror
echo "all checks passed"
