#!/bin/sh
# Runs each fuzz target for N seconds (default 60) on its corpus; fails when
# any of them finds a fault.
# New interesting inputs go to fuzz/build/corpus/<target> (the checked-in
# seeds in fuzz/corpus/<target> are only read); crashes to fuzz/build/crashes.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
seconds=${1:-60}
out=${2:-$here/build}
targets="game_settings config_signature json_extract list_file language_list sprite_file"
for target in $targets; do
  [ -x "$out/${target}_fuzzer" ] || { "$here/build.sh" "$out"; break; }
done
mkdir -p "$out/crashes"
status=0
for target in $targets; do
  mkdir -p "$out/corpus/$target"
  echo "== $target for ${seconds}s"
  "$out/${target}_fuzzer" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$out/crashes/${target}-" \
    "$out/corpus/$target" "$here/corpus/$target" || status=1
done
exit $status
