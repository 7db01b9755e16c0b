#!/usr/bin/env bash
# The whole installer under Xvfb ($DISPLAY must be set) against the sandbox
# services, with the setup download served by the loopback sendfile server:
# peak resident memory during a 256 MiB and a 1 GiB download (the time to the
# window is bench/window_bench.sh's). Called by scripts/bench.sh.
#   installer_bench.sh <release-build> <work-folder>
set -euo pipefail
build=$1
work=$2
source=$(cd "$(dirname "$0")/.." && pwd)
source "$source/scripts/lib-session.sh"
pids=()
trap stop_started EXIT
mkdir -p "$work/inst/bin" "$work/inst/registry" "$work/inst/games"
private_runtime_dir "$work/inst/runtime"  # its own one-instance lock
cp "$build/platform/gtk/SelectLanguage" "$work/inst/bin/"

# The setup download goes to the file server; everything else to the sandbox.
clientip_bind=127.0.0.1
[ "$(id -u)" -eq 0 ] && clientip_bind=127.0.0.2
start_services() {  # file-server port
  sign_options "$build"
  start_sandbox "$work/inst" python3 "$source/tools/sandbox/sandbox.py" --client-ip-bind "$clientip_bind" \
    --files "$work/inst" --config <(sed "s/{{FILES_HOST}}/127.0.0.1:$1/" "$work/inst/config.tmpl") "${sign_options[@]}"
  use_sandbox_services
  export ZK_REGISTRY_ROOT="$work/inst/registry" ZK_GAME_DIR="$work/inst/games"
}
python3 - "$work/inst/config.tmpl" <<'PY'
import sys
lines = ["U_PATH_ZK%s=http://{{FILES_HOST}}/setup/" % l for l in ("EN", "SC", "TC", "RU", "JP")]
lines += ["F_NAME_ZK%s=ZKSetup_%s.exe" % (l, l) for l in ("EN", "SC", "TC", "RU", "JP")]
# The setup's checks, taken from setup.bin when the configuration is served.
lines += ["H_SHA2_ZK%s={{SHA256:setup.bin}}\r\nS_SIZE_ZK%s={{SIZE:setup.bin}}" % (l, l)
          for l in ("EN", "SC", "TC", "RU", "JP")]
lines += ["F_NAME_Lst=ZKGame.lst", "F_NAME_Game=ZKGame.exe", "F_NAME_Update=ZKUpdate.exe",
          "R_PATH_Root=SOFTWARE\\ZKGame", "R_PATH_Game=SOFTWARE\\ZKGame\\Game", ""]
open(sys.argv[1], "wb").write("\r\n".join(lines).encode("cp949"))
PY

window_now() {
  xdotool search --onlyvisible --name '^Select language$' 2>/dev/null | head -n 1
}

echo "-- peak resident memory of the installer during the setup download"
for mib in 256 1024; do
  rm -f "$work/inst/setup.bin" "$work/inst/fsport" "$work/inst/ports"
  # A script that ends at once, padded with zeros (sparse): the installer runs
  # it after the download, sees it end and finishes by itself.
  printf '#!/bin/sh\nexit 0\n' >"$work/inst/setup.bin"
  truncate -s "${mib}M" "$work/inst/setup.bin"
  "$build/bench/file_server" "$work/inst/setup.bin" "$work/inst/fsport" 1 600 &
  fs_pid=$!
  pids+=($fs_pid)
  for _ in $(seq 100); do [ -s "$work/inst/fsport" ] && break; sleep 0.05; done
  start_services "$(cat "$work/inst/fsport")"
  rm -rf "$work/inst/run"; mkdir -p "$work/inst/run"
  (cd "$work/inst/run" && exec "$work/inst/bin/SelectLanguage") &
  app=$!
  pids+=($app)
  window=""
  for _ in $(seq 300); do window=$(window_now) && [ -n "$window" ] && break; sleep 0.1; done
  sleep 1.5  # the configuration arrives
  xdotool mousemove --window "$window" 160 124 click 1   # Install, English preselected
  peak=0
  for _ in $(seq 3000); do
    kb=$(sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\).*/\1/p' "/proc/$app/status" 2>/dev/null || true)
    [ -n "$kb" ] && [ "$kb" -gt "$peak" ] && peak=$kb
    kill -0 "$fs_pid" 2>/dev/null || break   # the server has sent the whole file
    sleep 0.1
  done
  # Until the installer ends by itself: the download is complete ("Load setup
  # file."), the setup ran and the timer found it ended.
  split=""
  for _ in $(seq 200); do
    kb=$(sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\).*/\1/p' "/proc/$app/status" 2>/dev/null || true)
    [ -z "$kb" ] && break
    [ "$kb" -gt "$peak" ] && peak=$kb
    split=$(grep -E '^(RssAnon|RssFile|RssShmem)' "/proc/$app/status" 2>/dev/null | tr -s ' \t' ' ' | tr '\n' ';' || true)
    sleep 0.1
  done
  log=$(progress_log "$work/inst/run/ZK_Progress_Installer.log")
  complete=no
  grep -q '^Load setup file\.$' <<<"$log" && complete=yes
  echo "${mib} MiB download: peak RSS $((peak / 1024)) MiB ($peak KiB), download complete: $complete" \
    "(budget <= 48 MiB); last seen: ${split}"
  sed 's/^/    log: /' <<<"$log" | tail -n 4
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  pids=()
done
