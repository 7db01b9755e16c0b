#!/bin/sh
# Runs each fuzz target for N seconds (default 60) on its corpus.
# New interesting inputs go to fuzz/build/corpus/<target> (the checked-in
# seeds in fuzz/corpus/<target> are only read); crashes to fuzz/build/crashes.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
seconds=${1:-60}
out=${2:-$here/build}
[ -x "$out/game_settings_fuzzer" ] || "$here/build.sh" "$out"
mkdir -p "$out/crashes"
status=0
for target in game_settings json_extract; do
  mkdir -p "$out/corpus/$target"
  echo "== $target for ${seconds}s"
  "$out/${target}_fuzzer" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$out/crashes/${target}-" \
    "$out/corpus/$target" "$here/corpus/$target" || status=1
done
exit $status
