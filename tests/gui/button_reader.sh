#!/usr/bin/env bash
# The real window over the accessibility bus (button_reader.py): the sprite
# buttons as push buttons with names, states and a click action, the list's
# label, the bar's value; Install pressed through its action installs.
# Runs inside its own D-Bus session (dbus-run-session).
#   button_reader.sh <program> <sandbox.py> <sample setup program> [<key the program trusts>]
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib-session.sh"
program=$1
sandbox=$2
setup=$3
sign=()
[ -n "${4:-}" ] && sign=(--sign-key "$4")
here=$(cd "$(dirname "$0")" && pwd)
begin_session
read_log() { progress_log "$work/run/ZK_Progress_Installer.log"; }
fail() {
  echo "FAILED: $*"
  echo "--- progress log"
  read_log
  exit 1
}

mkdir -p "$work/bin" "$work/run" "$work/files/setup"
cp "$program" "$work/bin/SelectLanguage"
for language in EN SC TC RU JP; do cp "$setup" "$work/files/setup/ZKSetup_$language.exe"; done
size=$(stat -c %s "$setup")
private_runtime_dir "$work/runtime"
start_display 800x600x24
# The setup comes in about four seconds, so the bar is seen moving.
start_sandbox "$work" python3 "$sandbox" --files "$work/files" "${sign[@]}" --fault "files=drip:rate=$((size / 4))"
use_sandbox_services
export ZK_REGISTRY_ROOT="$work/registry" ZK_GAME_DIR="$work/games" ZK_SETUP_SECONDS=1

(cd "$work/run" && exec "$work/bin/SelectLanguage") &
app=$!
pids+=($app)
window=$(find_window 'Select language' 300)
[ -n "$window" ] || fail "no window titled 'Select language'"
xdotool windowactivate --sync "$window"
/usr/bin/python3 "$here/button_reader.py" SelectLanguage || fail "the accessibility tree"
for _ in $(seq 300); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && fail "the installer did not finish"
read_log | grep -q 'Attempt to install' || fail "the action did not press Install"
read_log | grep -q 'It has been successfully installed' || fail "not installed"
echo "1 passed, 0 failed"
