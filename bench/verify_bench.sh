#!/usr/bin/env bash
# The setup program's check against the references of the same machine:
# SHA-256 CPU seconds per GiB through the program's hasher against what
# `openssl speed -evp sha256` reports, then the download with the size and
# hash checked against without, throttled to 100 MiB/s and unthrottled on
# loopback. Called by scripts/bench.sh.
#   verify_bench.sh <release-build> <work-folder> [MiB] [runs]
set -euo pipefail
build=$1
work=$2
mib=${3:-256}
runs=${4:-3}
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done' EXIT
pin_server=() pin_client=()
if [ "$(nproc)" -ge 2 ]; then pin_server=(taskset -c 1) pin_client=(taskset -c 0); fi
mkdir -p "$work/verify/out"

echo "-- SHA-256: CPU seconds per GiB, the program's hasher against openssl speed (one thread, 16 KiB blocks)"
ours=$("${pin_client[@]}" "$build/bench/verify_bench" - - "$work/verify/out" 0 | sed -n 's/^sha256_cpu_s_per_gib //p')
# The last figure of the table is bytes per second in thousands, for 16384-byte blocks.
speed=$("${pin_client[@]}" openssl speed -evp sha256 -bytes 16384 -seconds 3 2>/dev/null | tail -n 1 | awk '{print $NF}')
python3 - "$ours" "$speed" <<'PY'
import sys
ours = float(sys.argv[1])
reference = 2**30 / (float(sys.argv[2].rstrip("k")) * 1000)
print("ours %.3f s/GiB, openssl %.3f s/GiB, ratio %.3f (budget <= 1.1)" % (ours, reference, ours / reference))
PY

truncate -s "${mib}M" "$work/verify/setup.bin"
serve() {  # rate (0: unthrottled) -> sets port
  rm -f "$work/verify/port"
  "${pin_server[@]}" "$build/bench/file_server" "$work/verify/setup.bin" "$work/verify/port" $((2 * runs)) 900 "$1" &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$work/verify/port" ] && break; sleep 0.05; done
  port=$(cat "$work/verify/port")
}
echo "-- ${mib} MiB at 100 MiB/s: with the size and hash checked against without (budget >= 0.98)"
serve $((100 * 1024 * 1024))
"${pin_client[@]}" "$build/bench/verify_bench" "http://127.0.0.1:$port/s.exe" "$work/verify/setup.bin" "$work/verify/out" "$runs"
echo "-- ${mib} MiB on loopback, unthrottled (no budget: the hash bounds it)"
serve 0
"${pin_client[@]}" "$build/bench/verify_bench" "http://127.0.0.1:$port/s.exe" "$work/verify/setup.bin" "$work/verify/out" "$runs"
rm -f "$work/verify/setup.bin"
