#!/usr/bin/env bash
# Sets up everything lumo needs on a Debian machine: the system packages the
# build and the tests use, a virtual environment in .venv, and lumo built and installed
# into it with the test and development tools, and Dask and Spark (with
# Java) for the cluster tests.
set -euo pipefail
cd "$(dirname "$0")/.."

# tmux runs the command in a terminal for the progress bar test; clang
# builds the fuzz harnesses (it ships libFuzzer) and atheris where no wheel
# of it fits the interpreter; valgrind checks for leaks; Java runs Spark;
# chromium, its driver and the CJK fonts show the docs site to
# scripts/docs.sh, and lumo serve's page to its browser tests.
packages=(g++ clang cmake ninja-build nlohmann-json3-dev libgtest-dev tmux valgrind
  openjdk-17-jre-headless chromium chromium-driver fonts-noto-cjk)
scripts/install_packages.sh "${packages[@]}"

python=${PYTHON:-python3}
[ -x .venv/bin/python ] || "$python" -m venv .venv
.venv/bin/python -m pip install -q --upgrade pip
.venv/bin/python -m pip install -q ".[dev,cluster]"
