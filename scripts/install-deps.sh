#!/usr/bin/env bash
# Installs, with apt-get, the Debian packages that building and testing need and that are missing.
# Extra package names may be given as arguments.
set -euo pipefail

packages=(cmake ninja-build g++ clang libgtest-dev pkg-config "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
