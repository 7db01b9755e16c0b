#!/usr/bin/env bash
# The status line of the real window, read as a screen reader reads it (over
# the accessibility bus), through a whole installation with a silent region
# service and one dropped download: each phase says what happens, in order.
# Runs inside its own D-Bus session (dbus-run-session).
#   status_line.sh <program> <sandbox.py> <sample setup program> [<key the program trusts>]
# ZK_GUI_SHOTS names a folder for a screenshot of each phase.
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib-session.sh"
program=$1
sandbox=$2
setup=$3
sign=()
[ -n "${4:-}" ] && sign=(--sign-key "$4")
here=$(cd "$(dirname "$0")" && pwd)
begin_session
fail() {
  echo "FAILED: $*"
  echo "--- status line"
  cat "$work/status.txt"
  echo "--- progress log"
  progress_log "$work/run/ZK_Progress_Installer.log"
  exit 1
}
seen() { grep -qE "$1" "$work/status.txt" 2>/dev/null; }
wait_for() {  # PATTERN TENTHS
  for _ in $(seq "$2"); do seen "$1" && return 0; sleep 0.1; done
  return 1
}
shot() { [ -n "${ZK_GUI_SHOTS:-}" ] && sleep 0.3 && import -window root "$ZK_GUI_SHOTS/$1.png" || true; }

mkdir -p "$work/bin" "$work/run" "$work/files/setup"
cp "$program" "$work/bin/SelectLanguage"
for language in EN SC TC RU JP; do cp "$setup" "$work/files/setup/ZKSetup_$language.exe"; done
size=$(stat -c %s "$setup")
private_runtime_dir "$work/runtime"
start_display 800x600x24

# The region check never answers (the client-IP service does, after it); the
# setup comes slowly enough to be watched, and its first attempt breaks.
start_sandbox "$work" python3 "$sandbox" --files "$work/files" "${sign[@]}" --fault region=stalled \
  --fault "files=drip:rate=$((size / 4))" --fault "files=drop:after=$((size / 3)):times=1"
use_sandbox_services
export ZK_REGISTRY_ROOT="$work/registry" ZK_GAME_DIR="$work/games" ZK_SETUP_SECONDS=2

(cd "$work/run" && exec "$work/bin/SelectLanguage") &
app=$!
pids+=($app)
window=$(find_window 'Select language' 300)
[ -n "$window" ] || fail "no window titled 'Select language'"
/usr/bin/python3 "$here/status_reader.py" SelectLanguage >"$work/status.txt" 2>"$work/reader.log" &
pids+=($!)

# Each phase as the line says it, in order; a regular expression a phase.
phases=(
  '^Connecting…$'
  '^Choose a language and press Install\.$'
  '^[0-9]+\.[0-9] of [0-9]+\.[0-9] MB'
  '^Connection lost — trying again in [0-9] s \(attempt 2 of 5\)$'
  '^[0-9]+\.[0-9] of [0-9]+\.[0-9] MB, [0-9.]+ [KM]B/s, [0-9].* left$'
  '^Waiting for the setup program to finish…$'
  # The last steps follow each other faster than the line changes (4 times
  # a second): the first of them is what it says before the window goes.
  "^Restoring the game's file times…$"
)
wait_for "${phases[0]}" 100 || fail "no status while the region is looked up"
shot connecting
wait_for "${phases[1]}" 300 || fail "the configuration's prompt did not come"
shot ready
xdotool mousemove --window "$window" 160 124 click 1  # Install, English is selected
wait_for "${phases[3]}" 300 || fail "the dropped attempt was not told"
shot retry
wait_for "${phases[4]}" 300 || fail "no figures after the retry"
[ -n "${ZK_GUI_SHOTS:-}" ] && sleep 1.5  # past the retry's pause, while the figures come
shot downloading
wait_for "${phases[5]}" 300 || fail "the setup's run was not told"
shot setup
for _ in $(seq 300); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && fail "the installer did not finish"
sleep 0.5

# The order: each phase's first line after the one before.
line=0
for phase in "${phases[@]}"; do
  at=$(tail -n +$((line + 1)) "$work/status.txt" | grep -nE "$phase" | head -n 1 | cut -d: -f1 || true)
  [ -n "$at" ] || fail "'$phase' did not come after line $line"
  line=$((line + at))
done
progress_log "$work/run/ZK_Progress_Installer.log" | grep -q 'It has been successfully installed' || fail "not installed"
echo "status line: $(wc -l <"$work/status.txt") texts, every phase in order"
echo "1 passed, 0 failed"
