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

# Each thread's time on a CPU so far, in ns: "tid ns" lines.
thread_cpu() {
  local t ns rest
  for t in /proc/"$1"/task/*; do read -r ns rest <"$t/schedstat" 2>/dev/null && echo "${t##*/} $ns"; done
  return 0
}

# The threads' times during the download: the last reading taken before the
# window logged the download's end ("Load setup file."), so that the setup's
# start is not in it.
sample_cpu() {
  [ -e "$work/inst/cpu-done" ] && return 0
  if progress_log "$work/inst/run/ZK_Progress_Installer.log" | grep -q '^Load setup file\.$'; then
    touch "$work/inst/cpu-done"
    return 0
  fi
  thread_cpu "$app" >"$work/inst/cpu-now"
  [ -s "$work/inst/cpu-now" ] && cp "$work/inst/cpu-now" "$work/inst/cpu-during"
  return 0
}

window_now() {
  xdotool search --onlyvisible --name '^Select language$' 2>/dev/null | head -n 1
}

echo "-- peak resident memory of the installer during the setup download"
for mib in 256 1024; do
  rm -f "$work/inst/setup.bin" "$work/inst/fsport" "$work/inst/ports" "$work/inst/cpu-"*
  # A script that ends after a second, padded with zeros (sparse): the
  # installer runs it after the download, sees it end and finishes by itself.
  # The second keeps the file's deletion (the page cache of the whole file
  # freed, on the window's thread) out of the download's figures.
  printf '#!/bin/sh\nsleep 1\nexit 0\n' >"$work/inst/setup.bin"
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
  # The configuration arrives (behind the window, after the region).
  for _ in $(seq 300); do
    progress_log "$work/inst/run/ZK_Progress_Installer.log" | grep -q 'successfully downloaded' && break
    sleep 0.1
  done
  sleep 0.3
  xdotool mousemove --window "$window" 160 124 click 1   # Install, English preselected
  sleep 0.2  # the press and the request behind, the download under way
  thread_cpu "$app" >"$work/inst/cpu-before"
  peak=0
  for _ in $(seq 3000); do
    kb=$(sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\).*/\1/p' "/proc/$app/status" 2>/dev/null || true)
    [ -n "$kb" ] && [ "$kb" -gt "$peak" ] && peak=$kb
    sample_cpu
    kill -0 "$fs_pid" 2>/dev/null || break   # the server has sent the whole file
    sleep 0.1
  done
  # Until the installer ends by itself: the download is complete ("Load setup
  # file."), the setup ran and the timer found it ended.
  split=""
  for _ in $(seq 200); do
    sample_cpu
    kb=$(sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\).*/\1/p' "/proc/$app/status" 2>/dev/null || true)
    [ -z "$kb" ] && break
    [ "$kb" -gt "$peak" ] && peak=$kb
    split=$(grep -E '^(RssAnon|RssFile|RssShmem)' "/proc/$app/status" 2>/dev/null | tr -s ' \t' ' ' | tr '\n' ';' || true)
    sleep 0.1
  done
  # The window's thread (the process's first) against the download worker
  # (the busiest other thread), over the download, status line and bar showing.
  awk -v app="$app" -v mib="$mib" 'NR == FNR { before[$1] = $2; next }
    { d = $2 - before[$1]; if ($1 == app) w = d; else if (d > worker) worker = d }
    END { if (worker > 0 && mib >= 1024) printf "%s MiB download: window thread %.1f ms CPU, download worker %.1f ms: %.2f %% (budget <= 1 %%)\n",
                                 mib, w / 1e6, worker / 1e6, 100 * w / worker }' \
    "$work/inst/cpu-before" "$work/inst/cpu-during"
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
