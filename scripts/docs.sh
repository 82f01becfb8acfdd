#!/usr/bin/env bash
# Builds the documentation site into out/site with every warning an error,
# checks that every public name of the module is in its API reference, and
# opens its main pages in headless Chromium, saving screenshots under
# out/site-shots/ (tools/site_screenshots.py says what it checks). Runs with
# the Python on the PATH, which must import lumo and have the docs extra;
# `--no-browser` leaves out the browser.
#
#   scripts/docs.sh [--no-browser]
set -euo pipefail
cd "$(dirname "$0")/.."

# The theme announces its end of life (docs/contributing.md says what then)
# on every build; the notice is no warning of the site.
export NO_MKDOCS_2_WARNING=1
# The hooks import the command's package from the tree, as the tests do.
export PYTHONPATH="$PWD/python${PYTHONPATH:+:$PYTHONPATH}"
python -m mkdocs build --strict --quiet
python tools/check_docs.py out/site
if [ "${1:-}" != --no-browser ]; then
  python tools/site_screenshots.py out/site out/site-shots
fi
