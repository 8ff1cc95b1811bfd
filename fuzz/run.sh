#!/usr/bin/env bash
# Builds the fuzzers (clang, libFuzzer, AddressSanitizer + UndefinedBehaviorSanitizer) and runs
# each for SECONDS seconds from its seed corpus, one after the other. New inputs go to a scratch
# directory, so the checked-in seeds stay as they are; an input that breaks a property is kept as
# <build>/findings/<fuzzer>-crash-*. Prints the executions per fuzzer; fails when any fuzzer did.
#
# Usage: fuzz/run.sh SECONDS [BUILD_DIR]   (BUILD_DIR defaults to build-fuzz)
set -euo pipefail

seconds=${1:?usage: fuzz/run.sh SECONDS [BUILD_DIR]}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${2:-$root/build-fuzz}

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DWEX_WERROR=ON -DWEX_BUILD_FUZZERS=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$build/findings"

failed=0
for fuzzer in "$build"/fuzz/fuzz_*; do
  name=${fuzzer##*/fuzz_}
  mkdir -p "$scratch/$name"
  log="$build/findings/$name.log"
  if "$fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$build/findings/$name-" "$scratch/$name" "$root/fuzz/corpus/$name" \
      >"$log" 2>&1; then
    status=ok
  else
    status="FAILED (see $log)"
    failed=1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: //p' "$log")
  printf '%-14s %12s executions in %ss  %s\n' "$name" "${runs:-?}" "$seconds" "$status"
  if [ "$status" != ok ]; then
    # What broke, and the input that broke it, where a CI log shows them.
    grep -m3 -E 'property broken|ERROR|SUMMARY' "$log" || true
    for input in "$build/findings/$name"-*; do
      if [ -f "$input" ]; then od -A x -t x1z -v "$input" | head -n 32; fi
    done
  fi
done
exit $failed
