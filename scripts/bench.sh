#!/usr/bin/env bash
# Runs every performance measurement on a release build and prints each
# figure beside its reference from the same run. Never part of the tests.
#   scripts/bench.sh            # all of it (about 7 minutes on 2 cores)
# ZK_BENCH_MIB (default 1024) sizes the download file; ZK_BENCH_RUNS (5) the
# alternating download runs.
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD
source scripts/lib-packages.sh
source scripts/lib-session.sh
scripts/install-deps.sh
ensure_packages strace curl binutils  # the bench's own tools

cmake --preset release >/dev/null
cmake --build --preset release --target sprite_bench core_bench file_server download_bench verify_bench gtk_progress_bench \
  window_probe bare_window SelectLanguage zk_sample_setup zk_sample_game
build=$source/build/release
mib=${ZK_BENCH_MIB:-1024}
runs=${ZK_BENCH_RUNS:-5}

work=$(mktemp -d /tmp/zk-bench-XXXXXX)
pids=()
cleanup() {
  stop_started
  rm -rf "$work"
}
trap cleanup EXIT

echo "== Drawing, loading, JPEG, list file, configuration (Google Benchmark, medians of 5)"
# Repeated loads free and regrow ~150 KB; keep glibc from trimming between them.
export GLIBC_TUNABLES=glibc.malloc.trim_threshold=67108864:glibc.malloc.mmap_threshold=67108864
gb=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true --benchmark_min_time=0.2)
"$build/bench/sprite_bench" "${gb[@]}" --benchmark_out="$work/sprite.json" --benchmark_out_format=json >/dev/null
"$build/bench/core_bench" "${gb[@]}" --benchmark_out="$work/core.json" --benchmark_out_format=json >/dev/null
unset GLIBC_TUNABLES
python3 bench/ratios.py "$work/sprite.json" "$work/core.json"

# The two ends of each loopback download get a core each. Left to the
# scheduler, a run's speed follows where it puts them (a receiver sharing the
# server's core gets little per recv and needs many more calls) by 2-3x,
# which hides the effects measured here. The receiving side keeps everything
# else (the window, the curl program) on its core.
pin_server=() pin_client=()
if [ "$(nproc)" -ge 2 ]; then pin_server=(taskset -c 1) pin_client=(taskset -c 0); fi

start_server() {  # file, connections -> sets port
  rm -f "$work/port"
  "${pin_server[@]}" "$build/bench/file_server" "$1" "$work/port" "$2" 900 &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
  port=$(cat "$work/port")
}

echo
echo "== Setup download, ${mib} MiB from a loopback sendfile server: ours vs the curl program"
truncate -s "${mib}M" "$work/setup.bin"  # sparse: the server reads zero pages, not the disk
mkdir -p "$work/out"
start_server "$work/setup.bin" $((2 * runs + 2))
"${pin_client[@]}" "$build/bench/download_bench" "http://127.0.0.1:$port/setup/ZKSetup_EN.exe" "$work/out" "$runs"
# libcurl asks the socket for as many bytes as its receive buffer holds.
strace -e trace=recvfrom -o "$work/recv.trace" "$build/bench/download_bench" \
  "http://127.0.0.1:$port/setup/ZKSetup_EN.exe" "$work/out" 0 >/dev/null 2>&1 || true
largest=$(sed -n 's/^recvfrom([0-9]*, "[^"]*"\(\.\.\.\)\?, \([0-9]*\),.*/\2/p' "$work/recv.trace" | sort -n | tail -n 1)
echo "libcurl receive buffer: ${largest:-unknown} bytes asked per recvfrom (budget >= 102400)"

echo
echo "== Setup download, 256 MiB from the sandbox: unbroken vs dropped at 50 % and 90 % (resumed)"
bench/resume_bench.sh "$build" "$work" 256 3

echo
echo "== The setup download's worst case over four URLs (the primary and three mirrors) vs one URL"
bench/mirror_bench.sh "$build" "$work"

echo
echo "== The setup program's check: SHA-256 against openssl speed, and the download with and without it"
bench/verify_bench.sh "$build" "$work" 256 3

start_display

echo
echo "== The same download with progress posted to a GTK window (Xvfb) vs no progress"
start_server "$work/setup.bin" $((2 * runs + 1))
"${pin_client[@]}" "$build/bench/gtk_progress_bench" "http://127.0.0.1:$port/setup/ZKSetup_EN.exe" "$work/out" "$runs"

echo
echo "== Exec to the window on screen: the installer vs a bare GTK window with a combo box (medians of 15, alternating)"
bench/window_bench.sh "$build" "$work" 15

echo
echo "== The whole installer: peak memory during the download"
bench/installer_bench.sh "$build" "$work"

echo
echo "== The setup program's end to the game's start (whole installer, sample setup of 1 s)"
bench/setup_end_bench.sh "$build" "$work"

echo
echo "== Size"
strip -o "$work/SelectLanguage.stripped" "$build/platform/gtk/SelectLanguage"
echo "stripped Linux program: $(stat -c %s "$work/SelectLanguage.stripped") bytes"
# The Windows program, when scripts/build-windows.sh has built it (it is
# linked static and stripped already; stripping again shows nothing is left).
win=$source/build/product-win-i686/platform/win32/SelectLanguage.exe
if [ -f "$win" ] && command -v i686-w64-mingw32-strip >/dev/null; then
  i686-w64-mingw32-strip -o "$work/SelectLanguage.exe" "$win"
  echo "stripped static Windows i686 program: $(stat -c %s "$work/SelectLanguage.exe") bytes (budget <= 1048576)"
  python3 bench/size_breakdown.py "${win%.exe}.map" --top 12
else
  echo "static Windows i686 program: not built (scripts/build-windows.sh)"
fi
