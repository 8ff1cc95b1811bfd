#!/usr/bin/env bash
# Runs the test suite under valgrind memcheck: any invalid read or write, use of uninitialised
# memory or leak fails the run. Builds without sanitizers (valgrind cannot run beside them) into
# BUILD_DIR, by default build-memcheck.
#
# Usage: scripts/memcheck.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-memcheck}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DWEX_WERROR=ON >/dev/null
cmake --build "$build" -j2
# Only programs run under valgrind; the export check runs nm and needs none.
ctest --test-dir "$build" --output-on-failure -E shared_library_exports \
  -T memcheck --overwrite MemoryCheckCommand="$(command -v valgrind)" \
  --overwrite MemoryCheckCommandOptions="--error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect --track-origins=yes --suppressions=$root/scripts/memcheck.supp"
