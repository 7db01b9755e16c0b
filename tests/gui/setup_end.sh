#!/usr/bin/env bash
# The end of the setup program in the real program under Xvfb, where the
# window's thread must never wait on another process's files:
#  1. another user's process holds a file open on a FUSE mount whose daemon
#     has stopped answering: the install goes to its end, and a second run
#     closed while its setup runs ends within 2 s;
#  2. on a reinstall, the setup asks a process outside the installer's tree
#     (a service that was there before) to start its file again and ends:
#     the installer waits for that copy, and starts the game once, after it.
# Part 1 needs root, /dev/fuse and python3-fusepy; without them it is
# skipped, saying why, and part 2 still runs.
#   setup_end.sh <program> <sandbox.py> <sample setup program> <sample game> [<key the program trusts>]
# ZK_GUI_SHOT names a screenshot to keep, taken while the FUSE mount hangs.
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib-session.sh"
here=$(cd "$(dirname "$0")" && pwd)
program=$1
sandbox=$2
setup=$3
game=$4
sign=()
[ -n "${5:-}" ] && sign=(--sign-key "$5")
begin_session
fuse_daemon=""
# The FUSE daemon goes first, so that nothing stays blocked on its mount.
end_fuse() {
  [ -n "$fuse_daemon" ] || return 0
  kill -KILL "$fuse_daemon" 2>/dev/null || true
  wait "$fuse_daemon" 2>/dev/null || true
  umount -l "$work/fuse" 2>/dev/null || true
}
trap 'end_fuse; stop_started; rm -rf "$work"' EXIT
trap 'exit 1' INT TERM  # the cleanup above runs then too
fail() {
  echo "FAILED: $*"
  echo "--- progress log"
  log_text
  [ -s "$work/fuse.log" ] && { echo "--- FUSE daemon"; cat "$work/fuse.log"; }
  exit 1
}
log_text() { progress_log "$work/run/ZK_Progress_Installer.log"; }
wait_for_log() {  # PATTERN TENTHS
  for _ in $(seq "$2"); do log_text | grep -q "$1" && return 0; sleep 0.1; done
  return 1
}
now_ms() { echo $(($(date +%s%N) / 1000000)); }
passed=0

mkdir -p "$work/bin" "$work/files/setup"
cp "$program" "$work/bin/SelectLanguage"
for language in EN SC TC RU JP; do cp "$setup" "$work/files/setup/ZKSetup_$language.exe"; done
private_runtime_dir "$work/runtime"
start_display 800x600x24
start_sandbox "$work" python3 "$sandbox" --files "$work/files" "${sign[@]}"
use_sandbox_services
export ZK_REGISTRY_ROOT="$work/registry" ZK_GAME_DIR="$work/games"

# install SECONDS [reinstall]: a fresh run folder and game folder (for a
# reinstall, the registry already names the game's folder and an old game
# lies there), the installer started there and English installed; returns
# once the setup program runs, with `app`, `window` and `setup_pid` set.
install() {
  rm -rf "$work/run" "$work/games" "$work/registry"
  mkdir -p "$work/run"
  if [ "${2:-}" = reinstall ]; then
    local keys=$work/registry/HKEY_LOCAL_MACHINE/SOFTWARE/ZKGame
    mkdir -p "$keys/Game" "$work/games/ZKGame"
    printf '%s' "$work/games" >"$keys/Path"
    printf 'ZKGame' >"$keys/Game/localfolder"
    cp "$game" "$work/games/ZKGame/ZKUpdate.exe"
  fi
  export ZK_SETUP_SECONDS=$1
  (cd "$work/run" && exec "$work/bin/SelectLanguage") &
  app=$!
  pids+=($app)
  window=$(find_window 'Select language' 300)
  [ -n "$window" ] || fail "no window titled 'Select language'"
  wait_for_log 'Game settings file was successfully downloaded' 300 || fail "the configuration did not arrive"
  sleep 0.5
  xdotool mousemove --window "$window" 160 124 click 1  # Install, English is selected
  wait_for_log '^Load setup file\.$' 300 || fail "the setup program did not start"
  setup_pid=$(pgrep -P "$app" | head -n 1 || true)
  [ -n "$setup_pid" ] && pids+=($setup_pid)
  return 0
}
# ends_within MS: whether the installer has ended within MS milliseconds.
ends_within() {
  local since
  since=$(now_ms)
  while kill -0 "$app" 2>/dev/null && [ $(($(now_ms) - since)) -lt "$1" ]; do sleep 0.02; done
  ! kill -0 "$app" 2>/dev/null
}

# 1. A FUSE mount that stops answering, a file on it held by another user.
fuse_skip=""
if [ "$(id -u)" != 0 ]; then
  fuse_skip="not root: the mount needs allow_other and a process of another user"
elif [ ! -c /dev/fuse ]; then
  fuse_skip="no /dev/fuse"
elif ! /usr/bin/python3 -c 'import fusepy' 2>/dev/null; then
  fuse_skip="python3-fusepy is not installed"
fi
if [ -z "$fuse_skip" ]; then
  mkdir "$work/fuse"
  # The mount, and a read of its file; once more if the daemon did not last
  # (seen once, on a machine that had just installed FUSE).
  for _ in 1 2 3; do
    /usr/bin/python3 "$here/hung_fuse.py" "$work/fuse" >>"$work/fuse.log" 2>&1 &
    fuse_daemon=$!
    for _ in $(seq 100); do grep -q mounted "$work/fuse.log" && break; sleep 0.1; done
    if cat "$work/fuse/held.dat" >/dev/null 2>&1 && kill -0 "$fuse_daemon" 2>/dev/null; then
      # Opened here (the folder above is this user's only) and held by another user.
      setpriv --reuid=65534 --regid=65534 --clear-groups sleep 600 3<"$work/fuse/held.dat" &
      holder=$!
      for _ in $(seq 50); do [ -e "/proc/$holder/fd/3" ] && break; sleep 0.1; done
      [ -e "/proc/$holder/fd/3" ] && break
      # Seen on a loaded machine: the mount's connection gone between the
      # read and the holder's open.
      kill "$holder" 2>/dev/null || true
    fi
    kill "$fuse_daemon" 2>/dev/null || true
    wait "$fuse_daemon" 2>/dev/null || true
    fusermount3 -u "$work/fuse" 2>/dev/null || umount -l "$work/fuse" 2>/dev/null || true
    sed -i 's/^mounted$/(mounted, then gone)/' "$work/fuse.log"
  done
  grep -q '^mounted$' "$work/fuse.log" && [ -e "/proc/${holder:-0}/fd/3" ] ||
    fuse_skip="the FUSE mount failed: $(head -c 300 "$work/fuse.log")"
fi
if [ -n "$fuse_skip" ]; then
  echo "SKIPPED part 1 (the FUSE mount that stops answering): $fuse_skip"
else
  pids+=($holder)
  kill -STOP "$fuse_daemon"
  for _ in $(seq 50); do [ "$(cut -d' ' -f3 "/proc/$fuse_daemon/stat")" = T ] && break; sleep 0.1; done
  sleep 0.2
  # The mount really hangs: following the holder's descriptor waits.
  status=0
  timeout 2 stat -L "/proc/$holder/fd/3" >/dev/null 2>&1 || status=$?
  [ "$status" = 124 ] || fail "the FUSE mount still answers (stat gave $status)"

  install 4
  wait_for_log 'It has been successfully installed' 300 || fail "the installer did not finish while the FUSE mount hung"
  ends_within 5000 || fail "the installer did not exit after finishing"
  [ ! -e "$work/bin/_Set_UpZK.exe" ] || fail "the setup program's file is still there"
  passed=$((passed + 1))

  install 30
  sleep 5  # two ticks of the wait, each with a look at every process
  [ -n "${ZK_GUI_SHOT:-}" ] && import -window root "$ZK_GUI_SHOT"
  xdotool windowactivate --sync "$window" key --clearmodifiers alt+F4
  asked=$(now_ms)
  ends_within 10000 || fail "the installer still ran 10 s after the close"
  took=$(($(now_ms) - asked))
  [ "$took" -lt 2000 ] || fail "the installer took $took ms to end after the close"
  echo "closed $took ms after the close while the FUSE mount hung"
  [ -n "$setup_pid" ] && kill "$setup_pid" 2>/dev/null || true
  passed=$((passed + 1))
fi

# 2. A copy started by a service outside the installer's tree, on a reinstall.
mkfifo "$work/service"
export ZK_SETUP_SERVICE="$work/service" ZK_SETUP_SECONDS=4
sh -c 'read -r f < "$0" && ZK_SETUP_MODE=normal exec "$f"' "$work/service" &
pids+=($!)
sleep 0.1  # a clock tick older than the installer's setup
export ZK_SETUP_MODE=outside
install 4 reinstall
unset ZK_SETUP_MODE
wait_for_log 'It has been successfully installed' 300 || fail "the installer did not finish"
ends_within 5000 || fail "the installer did not exit after finishing"
ends=$(wc -l <"$work/games/setup-ended.txt")
[ "$ends" = 2 ] || fail "the installer finished when $ends of the setup's 2 processes had ended"
for _ in $(seq 50); do [ -s "$work/games/ZKGame/started.txt" ] && break; sleep 0.1; done
[ "$(wc -l <"$work/games/ZKGame/started.txt")" = 1 ] || fail "the game did not start exactly once"
copy_end=$(sort -n "$work/games/setup-ended.txt" | tail -n 1 | cut -d' ' -f1)
game_start=$(cut -d' ' -f3 "$work/games/ZKGame/started.txt")
[ "$game_start" -gt "$copy_end" ] || fail "the game started before the copy of the setup had ended"
passed=$((passed + 1))
echo "$passed passed, 0 failed"
