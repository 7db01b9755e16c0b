#!/usr/bin/env bash
# Two starts of the real program from the same folder, under Xvfb: while the
# first one's setup program runs, a second start exits at once without a
# window, leaves the first one's log and setup program alone and brings the
# first window back to the front (also from minimised); the first one then
# installs to the end. Last, a process of the same user that is no installer
# holds the lock: a start then says in a box that another installer runs,
# within about 2 s, and writes nothing.
#   second_start.sh <program> <sandbox.py> <sample setup program> [<key the program trusts>]
# ZK_GUI_SHOT names a screenshot to keep, taken after the second start;
# ZK_GUI_BOX_SHOT one of the box.
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib-session.sh"
program=$1
sandbox=$2
setup=$3
sign=()
[ -n "${4:-}" ] && sign=(--sign-key "$4")
begin_session
fail() {
  echo "FAILED: $*"
  echo "--- progress log"
  log_text
  exit 1
}
log_text() { progress_log "$work/run/ZK_Progress_Installer.log"; }
wait_for_log() {  # PATTERN TENTHS
  for _ in $(seq "$2"); do log_text | grep -q "$1" && return 0; sleep 0.1; done
  return 1
}
visible_windows() { xdotool search --onlyvisible --name '^Select language$' 2>/dev/null | wc -l; }
setup_file_state() { stat -c '%i %s %Y' "$work/bin/_Set_UpZK.exe" && sha256sum <"$work/bin/_Set_UpZK.exe"; }

# Starts the program again from the same folder and expects it to end by
# itself, with status 0, without ever showing a second window.
start_again() {
  (cd "$work/run" && exec "$work/bin/SelectLanguage") &
  local again=$! status=0
  pids+=($again)
  for _ in $(seq 100); do
    [ "$(visible_windows)" -le 1 ] || fail "a second window appeared"
    kill -0 "$again" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$again" 2>/dev/null && fail "the second start was still running after 10 s"
  wait "$again" || status=$?
  [ "$status" = 0 ] || fail "the second start ended with status $status"
}
wait_until_active() {  # WINDOW
  for _ in $(seq 50); do
    [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ] && return 0
    sleep 0.1
  done
  return 1
}

mkdir -p "$work/bin" "$work/run" "$work/files/setup"
cp "$program" "$work/bin/SelectLanguage"
for language in EN SC TC RU JP; do cp "$setup" "$work/files/setup/ZKSetup_$language.exe"; done
private_runtime_dir "$work/runtime"
start_display 800x600x24

start_sandbox "$work" python3 "$sandbox" --files "$work/files" "${sign[@]}"
use_sandbox_services
export ZK_REGISTRY_ROOT="$work/registry" ZK_GAME_DIR="$work/games"
export ZK_SETUP_SECONDS=10  # the setup runs while the later starts come and go

(cd "$work/run" && exec "$work/bin/SelectLanguage") &
first=$!
pids+=($first)
window=$(find_window 'Select language' 300)
[ -n "$window" ] || fail "no window titled 'Select language'"
wait_for_log 'Game settings file was successfully downloaded' 300 || fail "the configuration did not arrive"
sleep 0.5
xdotool mousemove --window "$window" 160 124 click 1  # Install, English is selected
wait_for_log '^Load setup file\.$' 300 || fail "the setup program did not start"
[ -f "$work/bin/_Set_UpZK.exe" ] || fail "no setup program next to the installer"
cp "$work/run/ZK_Progress_Installer.log" "$work/log-before"
setup_before=$(setup_file_state)

# Another program takes the focus, then the installer is started again.
xmessage -title 'Another program' 'Another program' 2>/dev/null &
pids+=($!)
other=$(find_window 'Another program' 100)
[ -n "$other" ] || fail "the other window did not appear"
xdotool windowactivate --sync "$other"
wait_until_active "$other" || fail "the other window did not take the focus"
start_again
cmp -s "$work/run/ZK_Progress_Installer.log" "$work/log-before" || fail "the second start changed the first one's log"
[ "$(setup_file_state)" = "$setup_before" ] || fail "the second start touched the setup program's file"
wait_until_active "$window" || fail "the running window was not brought to the front"
[ -n "${ZK_GUI_SHOT:-}" ] && import -window root "$ZK_GUI_SHOT"

# From minimised, too.
xdotool windowminimize --sync "$window"
start_again
wait_until_active "$window" || fail "the minimised window was not restored and brought to the front"
xwininfo -id "$window" | grep -q 'Map State: IsViewable' || fail "the minimised window was not restored"
cmp -s "$work/run/ZK_Progress_Installer.log" "$work/log-before" || fail "the third start changed the first one's log"

# The first one goes on to the end.
wait_for_log 'It has been successfully installed' 600 || fail "the first installer did not finish"
for _ in $(seq 100); do kill -0 "$first" 2>/dev/null || break; sleep 0.1; done
kill -0 "$first" 2>/dev/null && fail "the first installer did not exit"
[ ! -e "$work/bin/_Set_UpZK.exe" ] || fail "the setup program's file is still there"
for _ in $(seq 20); do [ -s "$work/games/ZKGame/started.txt" ] && break; sleep 0.1; done
[ -s "$work/games/ZKGame/started.txt" ] || fail "the game was not started"

# A holder of the lock that is no installer: the box, then nothing written.
lock_file=$(ls "$XDG_RUNTIME_DIR"/zk-installer*.lock)
flock "$lock_file" sleep 60 &
pids+=($!)
sleep 0.3
rm -f "$work/run/ZK_Progress_Installer.log"
(cd "$work/run" && exec "$work/bin/SelectLanguage") &
turned_away=$!
pids+=($turned_away)
box=$(find_window SelectLanguage 100)
[ -n "$box" ] || fail "no box saying that another installer runs"
[ "$(visible_windows)" = 0 ] || fail "a window of the installer appeared"
[ -n "${ZK_GUI_BOX_SHOT:-}" ] && import -window root "$ZK_GUI_BOX_SHOT"
xdotool windowactivate --sync "$box" key --clearmodifiers Return
for _ in $(seq 50); do kill -0 "$turned_away" 2>/dev/null || break; sleep 0.1; done
kill -0 "$turned_away" 2>/dev/null && fail "the turned-away start still ran after its box was closed"
[ ! -e "$work/run/ZK_Progress_Installer.log" ] || fail "the turned-away start wrote a log"
echo "2 passed, 0 failed"
