#!/usr/bin/env bash
# The worst case of the setup download's URL order: every URL failing, with
# the real attempts, pauses and 30 s silence limit (mirror_bench), against
# the download from one URL failing the same way (the reference, in the same
# run). Two ways to fail: every server silent after the request (the slowest:
# each attempt waits out the silence limit), and every server refusing (the
# pauses alone). Prints the time, the end, the requests each service saw, and
# the ratios. Called by scripts/bench.sh; takes about seven minutes.
#   mirror_bench.sh <build> <work-folder>
set -euo pipefail
build=$1
work=$2/mirror
source=$(cd "$(dirname "$0")/.." && pwd)
source "$source/scripts/lib-session.sh"
pids=()
trap stop_started EXIT

rm -rf "$work"
mkdir -p "$work/files/setup/m2" "$work/files/setup/m3"
# The same file at every URL: a missing one would be a 404, which moves on at once.
for folder in setup setup/m2 setup/m3; do head -c 65536 /dev/zero >"$work/files/$folder/ZKSetup_EN.exe"; done
start_sandbox "$work" python3 "$source/tools/sandbox/sandbox.py" --files "$work/files"
control="http://127.0.0.1:$(port control)/control"
files="http://127.0.0.1:$(port files)/setup"
mirror="http://127.0.0.1:$(port mirror)/setup"
# The primary and three mirrors: the most a language can name.
four=("$files/ZKSetup_EN.exe" "$mirror/ZKSetup_EN.exe" "$files/m2/ZKSetup_EN.exe" "$mirror/m3/ZKSetup_EN.exe")

requests() { curl -s "$control/counts?service=$1" | awk '{ n += $1 } END { print n + 0 }'; }

# run MODE URL...: prints "<seconds> <end> <files requests> <mirror requests>".
run() {
  local mode=$1
  shift
  curl -s -X POST "$control/reset" >/dev/null
  for service in files mirror; do curl -s -X POST "$control/fault?service=$service&mode=$mode" >/dev/null; done
  line=$("$build/bench/mirror_bench" "$work/out.bin" "$@")
  echo "$(echo "$line" | awk '{ print $6, $4 }') $(requests files) $(requests mirror)"
}

results=()
for mode in stalled refused; do
  one=$(run "$mode" "${four[0]}")
  all=$(run "$mode" "${four[@]}")
  echo "$mode: one URL: $one | four URLs: $all   (seconds, end, files requests, mirror requests)"
  results+=("$mode" "$one" "$all")
done

python3 - "${results[@]}" <<'PY'
import sys
args = sys.argv[1:]
for i in range(0, len(args), 3):
    mode, one, four = args[i], args[i + 1].split(), args[i + 2].split()
    t1, t4 = float(one[0]), float(four[0])
    print("every URL %s: one URL %.1f s in %d requests; four URLs %.1f s in %d requests; ratio %.2f"
          % (mode, t1, int(one[2]) + int(one[3]), t4, int(four[2]) + int(four[3]), t4 / t1))
PY
