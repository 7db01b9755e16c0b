#!/usr/bin/env bash
# The real window under Xvfb while the configuration server stalls: the
# window appears, paints itself again after it has been hidden and shown,
# and the window manager's close ends the program within 2 s.
#   close_while_loading.sh <program> <sandbox.py>
# ZK_GUI_SHOT names a screenshot to keep, taken after the window came back.
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib-session.sh"
program=$1
sandbox=$2
begin_session
fail() { echo "FAILED: $*"; exit 1; }
log_text() { progress_log "$work/run/ZK_Progress_Installer.log"; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }

private_runtime_dir "$work/runtime"
start_display 800x600x24

start_sandbox "$work" python3 "$sandbox" --fault config=stalled
use_sandbox_services
mkdir "$work/run"
cd "$work/run"
"$program" &
app=$!
pids+=($app)
window=$(find_window 'Select language' 200)
[ -n "$window" ] || fail "no window titled 'Select language'"
# The first configuration try is under way and waits on the server.
sleep 1.5
import -window "$window" "$work/before.png"

# Hidden and shown again, the window has to paint itself anew.
xdotool windowunmap --sync "$window"
sleep 0.3
xdotool windowmap --sync "$window"
sleep 1
import -window "$window" "$work/after.png"
[ -n "${ZK_GUI_SHOT:-}" ] && cp "$work/after.png" "$ZK_GUI_SHOT"
differing=$(compare -metric AE -fuzz 10% "$work/before.png" "$work/after.png" null: 2>&1 || true)
pixels=$(identify -format '%[fx:w*h]' "$work/before.png")
[ "${differing%%.*}" -lt $((pixels / 50)) ] 2>/dev/null ||
  fail "the window did not paint itself again ($differing of $pixels pixels differ)"
kill -0 "$app" 2>/dev/null || fail "the program ended by itself"

# The window manager's close, with the try still under way.
xdotool windowactivate --sync "$window" key --clearmodifiers alt+F4
asked=$(now_ms)
while kill -0 "$app" 2>/dev/null && [ $(($(now_ms) - asked)) -lt 10000 ]; do sleep 0.02; done
took=$(($(now_ms) - asked))
kill -0 "$app" 2>/dev/null && fail "the program still ran 10 s after the close"
[ "$took" -lt 2000 ] || fail "the program took $took ms to end after the close"
status=0
wait "$app" || status=$?
[ "$status" = 0 ] || fail "the program ended with status $status"
log=$(log_text)
[ "$log" = $'The program has been executed.\n\nYour CODE(1 - MAIN).' ] || fail "log: $log"
echo "ended $took ms after the close"
echo "1 passed, 0 failed"
