#!/usr/bin/env bash
# Sets up what the benchmarks compare with: the command-line tool of the
# Debian package opencc (benchmarks/cli.py), and out/bench, a virtual
# environment with lumo from this tree and the Python peers
# (benchmarks/requirements.txt), and out/bench-reimpl with the peer that
# needs an environment of its own (benchmarks/compare.py).
set -euo pipefail
cd "$(dirname "$0")/.."

if ! dpkg -s opencc >/dev/null 2>&1; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get install -y -q opencc >/dev/null ||
    { "${sudo_cmd[@]}" apt-get update -q >/dev/null &&
      "${sudo_cmd[@]}" apt-get install -y -q opencc >/dev/null; }
fi

python=${PYTHON:-python3}
[ -x out/bench/bin/python ] || "$python" -m venv out/bench
out/bench/bin/python -m pip install -q . -r benchmarks/requirements.txt
[ -x out/bench-reimpl/bin/python ] || "$python" -m venv out/bench-reimpl
out/bench-reimpl/bin/python -m pip install -q -r benchmarks/requirements-reimplemented.txt
