#!/usr/bin/env bash
# The setup download through our layer (download_bench, one download each)
# against the sandbox's files service: unbroken, and with the connection
# dropped once at 50 % and once at 90 % of the file, alternating. Prints what
# the sandbox served (requests, body bytes) per download, checks each file
# against the served one, and the medians. Called by scripts/bench.sh.
#   resume_bench.sh <release-build> <work-folder> [MiB] [runs]
set -euo pipefail
build=$1
work=$2/resume
mib=${3:-256}
runs=${4:-3}
source=$(cd "$(dirname "$0")/.." && pwd)
source "$source/scripts/lib-session.sh"
pids=()
trap stop_started EXIT

pin_server=() pin_client=()
if [ "$(nproc)" -ge 2 ]; then pin_server=(taskset -c 1) pin_client=(taskset -c 0); fi

rm -rf "$work"
mkdir -p "$work/files/setup" "$work/out"
file=$work/files/setup/ZKSetup_EN.exe
# Not sparse: every part must land in its place, and zeros everywhere would
# hide a part appended at the wrong offset.
python3 - "$file" "$mib" <<'PY'
import sys
block = bytes(range(251)) * 4177  # 1,048,427 bytes: the pattern does not repeat at MiB boundaries
with open(sys.argv[1], "wb") as f:
    left = int(sys.argv[2]) * 1024 * 1024
    while left > 0:
        f.write(block[:left])
        left -= len(block)
PY
size=$(stat -c %s "$file")
half=$((size / 2))
ninety=$((size * 9 / 10))

start_sandbox "$work" "${pin_server[@]}" python3 "$source/tools/sandbox/sandbox.py" --files "$work/files"
control="http://127.0.0.1:$(port control)/control"
url="http://127.0.0.1:$(port files)/setup/ZKSetup_EN.exe"

# One download: prints "<seconds> <cpu> <requests> <bytes served>".
download() {
  curl -s -X POST "$control/reset" >/dev/null
  if [ "$1" = dropped ]; then
    curl -s -X POST "$control/fault?service=files&mode=drop&after=$half,$((ninety - half))&times=2" >/dev/null
  fi
  rm -f "$work/out/ours.bin"
  line=$("${pin_client[@]}" "$build/bench/download_bench" "$url" "$work/out" 0)
  cmp -s "$work/out/ours.bin" "$file" || { echo "resume_bench: the $1 download differs from the file" >&2; exit 1; }
  served=$(curl -s "$control/counts?service=files" | awk '$3 == "/setup/ZKSetup_EN.exe" { print $1, $2 }')
  echo "$line" | sed -n 's/^ours: [0-9]* bytes in \([0-9.]*\) s, cpu \([0-9.]*\) s$/\1 \2/p' | tr -d '\n'
  echo " $served"
}

plain=() dropped=()
for run in $(seq "$runs"); do
  # Alternate which goes first, so neither always meets a cold cache.
  if [ $((run % 2)) -eq 1 ]; then
    a=$(download plain)
    b=$(download dropped)
  else
    b=$(download dropped)
    a=$(download plain)
  fi
  plain+=("$a") dropped+=("$b")
  echo "run $run: unbroken $a | dropped at 50 % and 90 % $b   (seconds, cpu, requests, bytes served)"
done

python3 - "$size" "${#plain[@]}" "${plain[@]}" "${dropped[@]}" <<'PY'
import statistics, sys
size, n = int(sys.argv[1]), int(sys.argv[2])
rows = [list(map(float, r.split())) for r in sys.argv[3:]]
plain, dropped = rows[:n], rows[n:]
med = lambda rs, i: statistics.median(r[i] for r in rs)
print("file %d bytes (%.0f MiB), %d runs each" % (size, size / 2**20, n))
print("unbroken: median %.3f s; requests %s (one attempt)" % (med(plain, 0), sorted({int(r[2]) for r in plain})))
print("dropped twice: median %.3f s; requests %s (three attempts)" % (med(dropped, 0), sorted({int(r[2]) for r in dropped})))
ratio = max(r[3] for r in dropped) / size
print("bytes served, dropped twice / file: %.4f at most (budget <= 1.02) %s" % (ratio, "MET" if ratio <= 1.02 else "NOT MET"))
print("time beyond the unbroken download: median %.3f s (of which 3 s are the two pauses of 1 and 2 s)"
      % (med(dropped, 0) - med(plain, 0)))
PY
