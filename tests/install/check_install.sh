#!/usr/bin/env bash
# Installs the built project into a temporary prefix and builds two consumers against the
# installed tree only: a C99 program through pkg-config and a C++ program through find_package.
# Then builds the library as a subproject of another project, with g++ and with clang.
# Usage: check_install.sh BUILD_DIR CONSUMER_SOURCE_DIR CMAKE C_COMPILER PROJECT_SOURCE_DIR
set -euo pipefail
build=$1 source=$2 cmake=$3 cc=$4 project=$5

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

"$cmake" --install "$build" --prefix "$prefix" >/dev/null
pcdir=$(dirname "$(find "$prefix" -name wex_publiclib.pc)")
libdir=$(dirname "$pcdir")

export PKG_CONFIG_PATH=$pcdir
"$cc" -std=c99 -Wall -Wextra -pedantic -Werror "$source/consumer.c" \
  $(pkg-config --cflags --libs wex_publiclib) -o "$work/c99_consumer"
LD_LIBRARY_PATH=$libdir "$work/c99_consumer"

"$cmake" -S "$source" -B "$work/cxx" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
"$cmake" --build "$work/cxx" >/dev/null
"$work/cxx/cxx_consumer"

"$prefix/bin/quil" --version
test -s "$prefix/share/man/man1/quil.1" # the manual page is installed with the tool

for compiler in g++ clang++; do
  command -v "$compiler" >/dev/null || continue
  "$cmake" -S "$source/subproject" -B "$work/sub-$compiler" -DWEX_SOURCE_DIR="$project" \
    -DCMAKE_CXX_COMPILER="$compiler" >/dev/null
  "$cmake" --build "$work/sub-$compiler" -j2 --target cxx_consumer >/dev/null
  "$work/sub-$compiler/cxx_consumer"
done
