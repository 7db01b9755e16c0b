#!/usr/bin/env bash
# How long the setup download takes, with the real limits and pauses, against
# servers that never finish on their own: one that drips a byte a second, one
# that sends half the file and then nothing, one that resets every answer
# half-way, and one that answers 503 to every request. Each is one download
# through download_bench's single-download mode (DownloadUrlToFile) of a
# 3 MB file from the sandbox's files service; prints the seconds, the
# requests and the bytes the sandbox served, next to an unbroken download.
# Takes about ten minutes.
#   hostile_download_bench.sh <build> <work-folder>
set -euo pipefail
build=$1
work=$2/hostile
source=$(cd "$(dirname "$0")/.." && pwd)
source "$source/scripts/lib-session.sh"
pids=()
trap stop_started EXIT

rm -rf "$work"
mkdir -p "$work/files/setup" "$work/out"
head -c 3000000 /dev/urandom >"$work/files/setup/ZKSetup_EN.exe"
start_sandbox "$work" python3 "$source/tools/sandbox/sandbox.py" --files "$work/files"
control="http://127.0.0.1:$(port control)/control"
url="http://127.0.0.1:$(port files)/setup/ZKSetup_EN.exe"

# run <label> [fault query]: "<label>: <seconds> s, <requests> requests, <bytes> bytes served"
run() {
  curl -s -X POST "$control/reset" >/dev/null
  [ -z "${2:-}" ] || curl -s -X POST "$control/fault?service=files&$2" >/dev/null
  rm -f "$work/out/ours.bin"
  local start end served
  start=$(date +%s.%N)
  "$build/bench/download_bench" "$url" "$work/out" 0 >/dev/null 2>&1 || true
  end=$(date +%s.%N)
  served=$(curl -s "$control/counts?service=files" | awk '$3 == "/setup/ZKSetup_EN.exe" { print $1, "requests,", $2, "bytes served" }')
  printf '%-40s %7.1f s, %s\n' "$1:" "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')" "$served"
}

run "unbroken"
run "a byte a second" "mode=drip&rate=1"
run "half, then silence" "mode=stall-body"
run "reset half-way, then at once" "mode=drop&after=1500000,0&how=reset"
run "503 to every request" "mode=status&code=503"
