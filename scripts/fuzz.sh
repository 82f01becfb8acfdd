#!/usr/bin/env bash
# Fuzzes lumo: the libFuzzer harnesses of fuzz/ (engine entry points, built
# with clang under AddressSanitizer and UndefinedBehaviorSanitizer) and the
# atheris harness of fuzz/python (the module's public surface, the module
# built with the same sanitizers).
#
#   scripts/fuzz.sh HARNESS SECONDS   runs one harness for SECONDS on both cores and
#                                     merges what it found into fuzz/corpus/HARNESS
#   scripts/fuzz.sh all SECONDS       each harness in turn, SECONDS each
#   scripts/fuzz.sh check SECONDS     what CI runs: each corpus replayed, then each
#                                     harness for SECONDS, leaving the corpora as they are
#
# HARNESS is one of: dictionary config custom_entries convert differential
# detect stream arrow python. A finding stops the run; the input that caused it
# is written to out/fuzz/artifacts/HARNESS/ and, once fixed, joins the
# corpus as regression-WHAT, which merging always keeps. While
# /tmp/lumo-quiet exists (someone is timing benchmarks), runs wait before
# building and are paused while fuzzing. Each run ends with libFuzzer's
# figures and the CPU time it used.
set -euo pipefail
cd "$(dirname "$0")/.."

harnesses=(dictionary config custom_entries convert differential detect stream arrow python)
build=out/fuzz
quiet=/tmp/lumo-quiet

usage() {
  echo "usage: scripts/fuzz.sh {HARNESS|all|check} SECONDS; HARNESS: ${harnesses[*]}" >&2
  exit 2
}
[ $# -eq 2 ] && [[ "$2" =~ ^[0-9]+$ ]] || usage
target=$1
seconds=$2

wait_for_quiet_end() {
  while [ -e "$quiet" ]; do sleep 30; done
}

# The harnesses, and the module with the sanitizers and coverage for
# atheris (UndefinedBehaviorSanitizer's C++ type checks need a runtime the
# interpreter does not load), built or brought up to date.
build_all() {
  wait_for_quiet_end
  cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DLUMO_BUILD_MODULE=OFF -DLUMO_BUILD_FUZZERS=ON >/dev/null
  cmake --build "$build" -j 2
  if [ "$target" = python ] || [ "$target" = all ] || [ "$target" = check ]; then
    cmake -S . -B "$build/module" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMO_BUILD_MODULE=ON -DLUMO_SANITIZE=ON \
      -DLUMO_FUZZ_MODULE=ON -DCMAKE_CXX_FLAGS= \
      -DPython_EXECUTABLE="$PWD/.venv/bin/python" >/dev/null
    cmake --build "$build/module" -j 2 --target lumo
  fi
}

# Runs "$@" in a process group of its own, stopped while the quiet file
# exists; prints the CPU seconds the group used.
run_courteously() {
  local TIMEFORMAT="cpu seconds: %U user, %S system"
  time {
    setsid "$@" &
    local group=$!
    while kill -0 "$group" 2>/dev/null; do
      if [ -e "$quiet" ]; then
        kill -STOP -- "-$group" 2>/dev/null || true
        wait_for_quiet_end
        kill -CONT -- "-$group" 2>/dev/null || true
      fi
      sleep 5
    done
    wait "$group"
  }
}

# The harness's command. The atheris harness runs in the interpreter with
# the sanitizer runtime atheris ships loaded first, since the interpreter
# itself is not built with it.
harness_command() {
  if [ "$1" = python ]; then
    local runtime
    runtime="$(.venv/bin/python -c 'import atheris; print(atheris.path())')/asan_with_fuzzer.so"
    # -fork runs the script again by its path: .venv/bin comes first in PATH.
    command=(env LD_PRELOAD="$runtime" ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1
      PYTHONPATH="$build/module" PATH="$PWD/.venv/bin:$PATH" fuzz/python/lumo_fuzzer.py)
  else
    command=("$build/fuzz_$1")
  fi
}

# fuzz HARNESS SECONDS MERGE: runs a harness on two cores; with MERGE, the
# corpus becomes the minimal set covering it and what the run found.
fuzz() {
  local harness=$1 time=$2 merge=$3
  local corpus=fuzz/corpus/$harness work=$build/work/$harness artifacts=$build/artifacts/$harness/
  mkdir -p "$corpus" "$work" "$artifacts"
  local options=(-max_total_time="$time" -artifact_prefix="$artifacts" -print_final_stats=1
    -print_funcs=0 -timeout=60)
  [ -e "fuzz/$harness.dict" ] && options+=(-dict="fuzz/$harness.dict")
  echo "== $harness: $time seconds"
  harness_command "$harness"
  if ! run_courteously "${command[@]}" "${options[@]}" -fork=2 "$work" "$corpus"; then
    echo "$harness: FINDING, see $artifacts" >&2
    findings=$((findings + 1))
    return
  fi
  if [ "$merge" = merge ] && [ -n "$(ls -A "$work")" ]; then
    local merged=$build/merged/$harness
    rm -rf "$merged" && mkdir -p "$merged"
    "${command[@]}" -merge=1 "$merged" "$corpus" "$work" >/dev/null 2>&1
    # The reproducers of fixed findings stay, whatever coverage they add.
    find "$corpus" -name 'regression-*' -exec cp {} "$merged" \;
    rm -rf "$corpus" && mv "$merged" "$corpus" && rm -rf "$work"
    echo "$harness corpus: $(ls "$corpus" | wc -l) files, $(cat "$corpus"/* | wc -c) bytes"
  fi
}

replay() {
  local harness=$1
  echo "== $harness: replaying $(ls "fuzz/corpus/$harness" | wc -l) inputs"
  harness_command "$harness"
  "${command[@]}" -runs=0 "fuzz/corpus/$harness" 2>&1 | tail -n 1
}

findings=0
build_all
case "$target" in
  all)
    for harness in "${harnesses[@]}"; do fuzz "$harness" "$seconds" merge; done ;;
  check)
    for harness in "${harnesses[@]}"; do replay "$harness"; done
    for harness in "${harnesses[@]}"; do fuzz "$harness" "$seconds" keep; done ;;
  *)
    [[ " ${harnesses[*]} " == *" $target "* ]] || usage
    fuzz "$target" "$seconds" merge ;;
esac
[ "$findings" -eq 0 ]
