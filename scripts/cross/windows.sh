#!/usr/bin/env bash
# The engine and its GoogleTest suite built for 64-bit Windows with
# mingw-w64 (statically linked) and run under Wine, in a throwaway prefix
# under out/. Called as `scripts/cross_test.sh windows [--quick]`.
#
# The build runs Windows programs too: the generator of the derived
# dictionary texts runs under Wine as the build's step. The whole suite runs,
# threads and the threaded differential tests included; --quick leaves out
# the long differential tests (the FastPathConversion family, which compares
# every fast path with the plain one on long texts), which the native run
# covers. The allocation-failure tests are not built: they wrap the C
# library's malloc and mmap with GNU ld's --wrap, which has no Windows twin.
#
# On the 2-core machine (shared): a clean build about 7 minutes, the
# generator's run under Wine included; the whole suite 63 to 67 s under
# Wine, --quick 16 s (31 s with other builds running). A first run also
# installs the packages and makes the prefix.
set -euo pipefail
cd "$(dirname "$0")/../.."

# scripts/cross_test.sh checks the arguments.
quick=0
[ "${1:-}" = --quick ] && quick=1

packages=(cmake ninja-build nlohmann-json3-dev googletest g++-mingw-w64-x86-64-posix wine64)
scripts/install_packages.sh --no-recommends "${packages[@]}"

# Debian installs wine64 off the PATH.
wine=$(dpkg -L wine64 | grep -m1 '/wine64$')
[ -x "$wine" ] || { echo "windows: wine64 not found" >&2; exit 1; }

build=out/windows
export WINEDEBUG=-all
export WINEPREFIX=$PWD/out/windows-wine
mkdir -p "$WINEPREFIX"
# Wine's server outlives the programs by a few seconds; wait for it to end,
# whatever way this script ends, so that nothing is left running.
trap 'WINEPREFIX=$WINEPREFIX "${wine%64}server" -w 2>/dev/null || true' EXIT

# The JSON headers alone: the directory that holds them also holds the
# host's C library headers, which must stay out of a build for Windows.
json=out/windows-json
mkdir -p "$json"
ln -sfn /usr/include/nlohmann "$json/nlohmann"

started=$SECONDS
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64.cmake \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$wine" \
  -DCMAKE_DISABLE_FIND_PACKAGE_nlohmann_json=ON -DLUMO_JSON_INCLUDE_DIR="$PWD/$json" \
  -DLUMO_BUILD_MODULE=OFF -DLUMO_BUILD_TESTS=ON -DLUMO_GTEST_SOURCE=/usr/src/googletest >/dev/null
cmake --build "$build" -j2
echo "windows: built in $((SECONDS - started)) s"

filter='*'
[ "$quick" -eq 1 ] && filter='-*FastPathConversion*'
started=$SECONDS
"$wine" "$build/lumo_engine_tests.exe" --gtest_filter="$filter" --gtest_brief=1
echo "windows: tests ran in $((SECONDS - started)) s under Wine"
