#!/usr/bin/env bash
# Installs those of the Debian packages named that are missing, as root or
# through sudo, waiting for another apt or dpkg to finish rather than
# failing; the package lists are refreshed only when an install from them
# fails. --no-recommends leaves out the packages they only recommend.
#
#   scripts/install_packages.sh [--no-recommends] PACKAGE...
set -euo pipefail

options=(-y -q)
if [ "${1:-}" = --no-recommends ]; then
  options+=(--no-install-recommends)
  shift
fi
missing=()
for package in "$@"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
[ "${#missing[@]}" -gt 0 ] || exit 0

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
apt_get=("${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600)
"${apt_get[@]}" install "${options[@]}" "${missing[@]}" >/dev/null ||
  { "${apt_get[@]}" update -q >/dev/null &&
    "${apt_get[@]}" install "${options[@]}" "${missing[@]}" >/dev/null; }
