#!/usr/bin/env bash
# The installer's whole job, end to end, on this machine: builds what is
# missing, starts the sandbox services (configuration, region, client IP and
# the setup programs, all on loopback), and runs the installer in a real
# window. On your display you pick a language and press Install; with no
# display it runs under Xvfb and the script does the clicks itself. At the
# end it prints the progress log and what it found.
#
# The GUI test runs this script too, on an existing build: ZK_DEMO_BUILD names
# the build folder, and ZK_DEMO_STRICT=1 makes every missing finding an error.
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD
source scripts/lib-session.sh
if [ -n "${ZK_DEMO_BUILD:-}" ]; then
  build=$ZK_DEMO_BUILD
  unset DISPLAY
else
  scripts/install-deps.sh
  cmake --preset release >/dev/null
  cmake --build --preset release --target SelectLanguage zk_sample_setup zk_sample_game
  build=$source/build/release
fi

work=$(mktemp -d /tmp/zk-demo-XXXXXX)
mkdir -p "$work/bin" "$work/run" "$work/files/setup"
pids=()
trap stop_started EXIT

# The installer lives in its own folder: the setup program is downloaded next to it.
cp "$build/platform/gtk/SelectLanguage" "$work/bin/"
for language in EN SC TC RU JP; do cp "$build/tools/sample/ZKSetup" "$work/files/setup/ZKSetup_$language.exe"; done

clientip_bind=127.0.0.1
[ "$(id -u)" -eq 0 ] && clientip_bind=127.0.0.2   # port 443 needs root; without it the lookup falls back
sign_options "$build"  # the configuration is signed, with the key the build trusts
start_sandbox "$work" python3 tools/sandbox/sandbox.py --files "$work/files" --client-ip-bind "$clientip_bind" \
  "${sign_options[@]}"
use_sandbox_services
export ZK_REGISTRY_ROOT="$work/registry"
export ZK_GAME_DIR="$work/games"
export ZK_SETUP_SECONDS=3
private_runtime_dir "$work/runtime"  # its own one-instance lock, whatever else runs

headless=0
if [ -z "${DISPLAY:-}" ]; then
  headless=1
  start_display
fi

cd "$work/run"
"$work/bin/SelectLanguage" &
app=$!
pids+=($app)

if [ "$headless" = 1 ]; then
  window=$(find_window 'Select language')
  # Clicks sent while the window still loads the configuration would wait in
  # its queue and reach the language list in the wrong order: wait for it.
  for _ in $(seq 600); do
    log=$(progress_log "$work/run/ZK_Progress_Installer.log")
    grep -q 'Game settings file was successfully downloaded' <<<"$log" && break
    sleep 0.1
  done
  sleep 0.5  # back to its messages, painted
  import -window root "$work/1-window.png"
  # Pick "Россия" from the language list, then press Install.
  xdotool mousemove --window "$window" 200 69 click 1
  sleep 0.7
  xdotool key Down Down Down Return
  sleep 0.5
  xdotool mousemove --window "$window" 40 40
  sleep 0.3
  xdotool mousemove --window "$window" 160 124
  sleep 0.5
  import -window root "$work/2-hover.png"
  xdotool mousedown 1
  sleep 0.3
  import -window root "$work/3-pressed.png"
  xdotool mouseup 1
  sleep 1
  import -window root "$work/4-installing.png"
  echo "Screenshots: $work/*.png"
else
  echo "Pick a language in the window and press Install."
fi

for _ in $(seq 600); do kill -0 "$app" 2>/dev/null || break; sleep 0.2; done
if kill -0 "$app" 2>/dev/null; then
  echo "The installer did not finish in two minutes; closing it."
  kill "$app"
fi
wait "$app" || true

echo
echo "Progress log ($work/run/ZK_Progress_Installer.log):"
progress_log "$work/run/ZK_Progress_Installer.log" | sed 's/^/  /'
echo
game="$work/games/ZKGame"
missing=0
check() {
  if eval "$2"; then echo "  [yes] $1"; else echo "  [no]  $1"; missing=$((missing + 1)); fi
}
echo "Found:"
check "the setup program's file is gone" "[ ! -e '$work/bin/_Set_UpZK.exe' ]"
check "the game was installed" "[ -x '$game/ZKUpdate.exe' ]"
check "file times were reset from the list (ZKGame.exe at 1700000000)" \
  "[ \"\$(stat -c %Y '$game/ZKGame.exe' 2>/dev/null)\" = 1700000000 ]"
for _ in $(seq 20); do [ -e "$game/started.txt" ] && break; sleep 0.1; done
check "the game was started" "[ -s '$game/started.txt' ]"
check "the game kept the environment it was given (no GDK_GL of the installer's)" \
  "[ -s '$game/started.txt' ] && ! grep -q GDK_GL= '$game/started.txt'"
check "the log tells of a successful installation" \
  "progress_log '$work/run/ZK_Progress_Installer.log' | grep -q 'It has been successfully installed.'"
if [ "${ZK_DEMO_STRICT:-0}" = 1 ]; then
  [ "$missing" -eq 0 ] || { echo "FAILED: $missing finding(s) missing"; exit 1; }
  rm -rf "$work"
fi
