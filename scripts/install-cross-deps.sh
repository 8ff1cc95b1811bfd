#!/usr/bin/env bash
# Installs, with apt-get, what the Windows builds and their tests need when missing: Debian's
# mingw-w64 i686 and x86_64 cross compilers, 64-bit Wine, and 32-bit Wine (wine32, after the i386
# architecture is added). The 32-bit part only helps where the machine can run 32-bit x86
# programs, and some machines cannot: its failure is reported and does not fail the script.
set -euo pipefail
cd "$(dirname "$0")"

./install-deps.sh g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
install_wine32() {
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386 || return 1
  fi
  ./install-deps.sh wine32:i386
}
if ! install_wine32; then
  echo "install-cross-deps: 32-bit Wine (wine32) could not be installed; only 64-bit Wine is there" >&2
fi
