#!/usr/bin/env bash
# A whole installation with the keyboard alone, in the real window under
# Xvfb: Tab reaches Install and Close (and back with Shift+Tab), Space on
# Install installs, and the installer ends with the game's start.
#   keyboard_install.sh <program> <sandbox.py> <sample setup program> [<key the program trusts>]
# ZK_GUI_SHOTS names a folder for a screenshot of the ring on each button.
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib-session.sh"
program=$1
sandbox=$2
setup=$3
sign=()
[ -n "${4:-}" ] && sign=(--sign-key "$4")
begin_session
read_log() { progress_log "$work/run/ZK_Progress_Installer.log"; }
fail() {
  echo "FAILED: $*"
  echo "--- progress log"
  read_log
  exit 1
}
shot() { [ -n "${ZK_GUI_SHOTS:-}" ] && sleep 0.3 && import -window root "$ZK_GUI_SHOTS/$1.png" || true; }
key() { xdotool key --clearmodifiers "$@" && sleep 0.3; }

mkdir -p "$work/run" "$work/files/setup"
for language in EN SC TC RU JP; do cp "$setup" "$work/files/setup/ZKSetup_$language.exe"; done
private_runtime_dir "$work/runtime"
start_display 800x600x24
start_sandbox "$work" python3 "$sandbox" --files "$work/files" "${sign[@]}"
use_sandbox_services
export ZK_REGISTRY_ROOT="$work/registry" ZK_GAME_DIR="$work/games" ZK_SETUP_SECONDS=1

(cd "$work/run" && exec "$program") &
app=$!
pids+=($app)
window=$(find_window 'Select language' 300)
[ -n "$window" ] || fail "no window titled 'Select language'"
for _ in $(seq 300); do read_log | grep -q 'successfully downloaded' && break; sleep 0.1; done
read_log | grep -q 'successfully downloaded' || fail "the configuration did not load"
xdotool windowactivate --sync "$window"
sleep 0.5
# Enter and Escape still do nothing; Space on the list is the list's own.
key Return Escape
kill -0 "$app" 2>/dev/null || fail "Enter or Escape ended the program"
key Tab
shot ring-install
key Tab
shot ring-close
key Tab
shot ring-none
key shift+Tab
key shift+Tab
shot ring-install-again
read_log | grep -q 'Attempt to install' && fail "Install was pressed before Space"
key space
for _ in $(seq 300); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && fail "the installer did not finish"
read_log | grep -q 'Attempt to install' || fail "Space did not press Install"
read_log | grep -q 'It has been successfully installed' || fail "not installed"
echo "1 passed, 0 failed"
