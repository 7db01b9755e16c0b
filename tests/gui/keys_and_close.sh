#!/usr/bin/env bash
# The real window under Xvfb: Escape and Enter leave it open, the window
# manager's close button ends the program, and the log has its first entries.
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib-session.sh"
program=$1
sandbox=$2
sign=()
[ -n "${3:-}" ] && sign=(--sign-key "$3")  # the key the program's build trusts
begin_session
fail() { echo "FAILED: $*"; exit 1; }

private_runtime_dir "$work/runtime"
start_display 800x600x24
sleep 0.5

start_sandbox "$work" python3 "$sandbox" "${sign[@]}"
use_sandbox_services
mkdir "$work/run"
cd "$work/run"
"$program" &
app=$!
pids+=($app)
window=$(find_window 'Select language' 200)
[ -n "$window" ] || fail "no window titled 'Select language'"
sleep 1
xdotool windowactivate --sync "$window" key Escape key Return
sleep 0.5
kill -0 "$app" 2>/dev/null || fail "Escape or Enter ended the program"
# The entries come from the window's thread; on a loaded machine they may
# trail the window's appearance.
read_log() { progress_log ZK_Progress_Installer.log; }
for _ in $(seq 100); do read_log | grep -qx "Your CODE(1 - MAIN)." && break; sleep 0.1; done
log=$(read_log)
echo "$log" | head -n 1 | grep -qx "The program has been executed." || fail "log: $log"
echo "$log" | grep -qx "Your CODE(1 - MAIN)." || fail "log: $log"
xdotool windowactivate --sync "$window" key --clearmodifiers alt+F4
for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && fail "the close button did not end the program"
echo "1 passed, 0 failed"
