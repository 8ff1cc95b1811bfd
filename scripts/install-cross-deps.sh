#!/usr/bin/env bash
# Installs, with apt-get, what the 32-bit Windows build and its tests need when missing: Debian's
# mingw-w64 i686 cross compiler and Wine with its 32-bit part, for which the i386 architecture is
# added first.
set -euo pipefail
cd "$(dirname "$0")"

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
./install-deps.sh g++-mingw-w64-i686 wine wine32
