#!/bin/sh
# Runs each fuzz target for N seconds (default 60) on its corpus; fails when
# any of them finds a fault.
#   fuzz/run.sh [SECONDS [FOLDER]]   FOLDER: the built targets (build/fuzz/fuzz,
#   made by `cmake --preset fuzz && cmake --build --preset fuzz`).
# New interesting inputs go to FOLDER/corpus/<target> (the checked-in seeds
# in fuzz/corpus/<target> are only read); crashes to FOLDER/crashes.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
seconds=${1:-60}
out=${2:-$(dirname "$here")/build/fuzz/fuzz}
targets="game_settings config_signature json_extract list_file language_list sprite_file"
for target in $targets; do
  [ -x "$out/${target}_fuzzer" ] || { echo "no $out/${target}_fuzzer: build the fuzz preset first" >&2; exit 1; }
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
