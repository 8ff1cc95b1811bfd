#!/usr/bin/env bash
# Builds the benchmarks (Release, -O2, no -march: the library picks its fast paths at run time),
# runs ours and the peers side by side and prints one table: ours, the peer, the ratio ours/peer
# and whether the target is met. Figures are medians of the repetitions, in CPU time, which a
# machine shared with other work disturbs less than wall time. Never fails on a time.
#
#   bench/compare.sh                  build, run, print the table
#   bench/compare.sh --build-only     build the benchmarks and run nothing (what CI does)
#   REPETITIONS=5 bench/compare.sh    more repetitions (default 3)
set -euo pipefail
cd "$(dirname "$0")/.."

# Google Benchmark and the peers (Debian packages), for the benchmarks only.
scripts/install-deps.sh $(cat bench/packages.txt)

build=${BUILD_DIR:-build-bench}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DWEX_BUILD_BENCHMARKS=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2 >/dev/null
[ "${1:-}" = "--build-only" ] && exit 0

# The INI save makes its file durable: keep the scratch files on the build's disk, not in a
# memory file system.
export TMPDIR
TMPDIR=$(cd "$build" && pwd)
results="$build/bench-results"
mkdir -p "$results"
for program in checksum containers ini ipaddr; do
  echo "running ${program}_bench ..." >&2
  "$build/bench/${program}_bench" --benchmark_repetitions="${REPETITIONS:-3}" \
    --benchmark_report_aggregates_only=true --benchmark_format=json \
    --benchmark_out_format=json --benchmark_out="$results/$program.json" >/dev/null
done

python3 - "$results" <<'PYTHON'
import json, os, sys

medians = {}
for name in os.listdir(sys.argv[1]):
    with open(os.path.join(sys.argv[1], name)) as f:
        for b in json.load(f)["benchmarks"]:
            # One repetition reports the run itself; more report their median.
            if b.get("aggregate_name") == "median" or b.get("run_type") == "iteration":
                medians[b["run_name"]] = b

scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}

def nanoseconds(run):
    b = medians[run]
    if "per_op" in b:
        return b["per_op"] * 1e9
    return b["cpu_time"] * scale[b["time_unit"]]

def gigabytes(run):
    return medians[run]["bytes_per_second"] / 1e9

# Each row: work, ours, peer, kind, target. "rate" rows compare throughput (ratio ours/peer, at
# least the target); "time" rows compare time per operation (ratio ours/peer, at most the target).
rows = []
for bits, fast, table, table_target in ((16, "IsaL", "Boost", 50), (32, "IsaL", "Zlib", 10)):
    for size, label in ((4096, "4 KiB"), (1048576, "1 MiB")):
        ours = f"BM_Crc{bits}_Ours/{size}"
        rows.append((f"CRC-{bits} {label}", ours, f"BM_Crc{bits}_{fast}/{size}", "rate", 1.0))
        rows.append((f"CRC-{bits} {label}", ours, f"BM_Crc{bits}_{table}/{size}", "rate", table_target))
    rows.append((f"CRC-{bits} 64 B", f"BM_Crc{bits}_Ours/64", f"BM_Crc{bits}_{fast}/64", "rate", 0.8))
for size, label in ((1048576, "1 MiB"), (64, "64 B")):
    rows.append((f"MD5 {label}", f"BM_Md5_Ours/{size}", f"BM_Md5_OpenSsl/{size}", "rate", 1.05))
for op, label in (("PushBack", "1M insert at tail"), ("PopFront", "1M Remove_HeadNode")):
    rows.append((f"dlist {label}", f"BM_DList_{op}_Ours", f"BM_List_{op}_Utlist", "time", 1.1))
for op, label in (("PushBack", "1M insert at tail"), ("PopFront", "1M Remove_HeadNode")):
    rows.append((f"slist {label}", f"BM_SList_{op}_Ours", f"BM_List_{op}_StdList", "time", 0.5))
for op in ("Insert", "Hit", "Miss"):
    rows.append((f"hash 1M {op.lower()}", f"BM_Hash_{op}<OursTable>", f"BM_Hash_{op}<GLibTable>", "time", 1.0))
for size, label in ((2097152, "2 MB"), (4096, "4 KB")):
    for crlf, ending in ((0, "LF"), (1, "CR LF")):
        rows.append((f"INI load {label} {ending}", f"BM_IniLoad_Ours/{size}/{crlf}",
                     f"BM_IniLoad_Inih/{size}/{crlf}", "rate", 1.5))
rows.append(("INI load+10 lookups+close 4 KB", "BM_IniLoadLookupClose_Ours",
             "BM_IniLoadLookupClose_GKeyFile", "time", 1.0))
rows.append(("INI save 2 MB (fsync+rename)", "BM_IniSave_Ours", "BM_IniSave_GKeyFile", "time", 1.0))
rows.append(("IPv4 parse (per address)", "BM_IpV4_Ours", "BM_IpV4_InetPton", "time", 1.0))
rows.append(("IPv6 parse (per address)", "BM_IpV6_Ours", "BM_IpV6_InetPton", "time", 1.0))

def peer_name(run):
    if "<" in run:
        return run[run.index("<") + 1:-1].replace("Table", "")
    return run.split("_")[-1].split("/")[0]

def figure(run, kind):
    if kind == "rate":
        value = gigabytes(run)
        return f"{value:.2f} GB/s" if value >= 1 else f"{value * 1000:.0f} MB/s"
    ns = nanoseconds(run)
    return f"{ns / 1e6:.2f} ms" if ns >= 1e6 else f"{ns / 1e3:.1f} us" if ns >= 1e4 else f"{ns:.1f} ns"

print(f"{'work':32} {'ours':>11} {'peer':>18} {'ratio':>6}  {'target':>7}  met")
for work, ours, peer, kind, target in rows:
    if ours not in medians or peer not in medians:
        print(f"{work:32} (not measured)")
        continue
    if kind == "rate":
        ratio = nanoseconds(peer) / nanoseconds(ours)
        met, bound = ratio >= target, f">={target:g}x"
    else:
        ratio = nanoseconds(ours) / nanoseconds(peer)
        met, bound = ratio <= target, f"<={target:g}x"
    peer_text = f"{figure(peer, kind)} {peer_name(peer)}"
    print(f"{work:32} {figure(ours, kind):>11} {peer_text:>18} {ratio:6.2f}  {bound:>7}  {'yes' if met else 'NO'}")

walk = "BM_IniGetValueWalk_Ours"
if walk in medians:
    ns = nanoseconds(walk)
    print(f"{'INI GetValue per scanned line':32} {ns:9.1f} ns {'(absolute)':>18} {'':6}  {'<=8 ns':>7}  {'yes' if ns <= 8 else 'NO'}")
PYTHON
echo "machine load: $(uptime | sed 's/.*load average/load average/')"
