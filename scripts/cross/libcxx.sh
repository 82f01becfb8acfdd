#!/usr/bin/env bash
# The engine built with clang and libc++ instead of g++ and libstdc++, and
# its tests run: another standard library's headers catch includes that
# libstdc++ supplies by accident, and clang's warnings (kept as errors) catch
# what g++ lets pass. GoogleTest is compiled from Debian's source package,
# since Debian's built copy is for libstdc++. --quick changes nothing: the
# whole run fits in CI's time.
set -euo pipefail
cd "$(dirname "$0")/../.."

clang_major=$(clang++ -dumpversion | cut -d. -f1)
packages=("libc++-$clang_major-dev" "libc++abi-$clang_major-dev" googletest ninja-build)
scripts/install_packages.sh "${packages[@]}"

build=out/libcxx
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS=-stdlib=libc++ \
  -DLUMO_BUILD_MODULE=OFF -DLUMO_BUILD_TESTS=ON -DLUMO_GTEST_SOURCE=/usr/src/googletest >/dev/null
cmake --build "$build" -j "$(nproc)"
# Every object of the tests was compiled against libc++: no libstdc++ is
# linked in beside it.
if ldd "$build/lumo_engine_tests" | grep -q 'libstdc++'; then
  echo "libcxx: the tests link libstdc++" >&2
  exit 1
fi
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
