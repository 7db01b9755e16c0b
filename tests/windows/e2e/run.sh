#!/usr/bin/env bash
# The whole installation with the Windows program under wine64 and Xvfb:
# the sandbox services on loopback (its test CA made trusted in the wine
# prefix), the sample Windows setup program served for every language, the
# Install button clicked with xdotool (then pressed with Tab and Space, and
# through its accessible object from another program), and then the progress log, the
# deleted setup program, the registry-driven game start and the reset file
# times checked. DLLs planted beside the program are never loaded.
# Usage: tests/windows/e2e/run.sh <win-x64 build folder>   (WINEPREFIX set)
set -euo pipefail
source=$(cd "$(dirname "$0")/../../.." && pwd)
source "$source/scripts/lib-session.sh"
build=$(cd "$1" && pwd)
wine=/usr/lib/wine/wine64
: "${WINEPREFIX:?}"
export WINEDEBUG=-all

work=$(mktemp -d /tmp/zk-wine-e2e-XXXXXX)
mkdir -p "$work/run" "$work/files/setup" "$work/games"
pids=()
cleanup() {
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  stop_started
  [ -n "${ZK_E2E_KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; echo "--- progress log"; progress_log "$work/run/ZK_Progress_Installer.log"; exit 1; }
winpath() { echo "Z:$1" | sed 's|/|\\|g'; }

# The display comes first: wine's desktop process starts with the first
# wine command of a session and keeps the display it found.
/usr/lib/wine/wineserver -k 2>/dev/null || true
start_display

cp "$build/platform/win32/SelectLanguage.exe" "$work/run/"
for language in EN SC TC RU JP; do cp "$build/tests/windows/win_sample_setup.exe" "$work/files/setup/ZKSetup_$language.exe"; done

# wine's certificate check matches DNS names only, not IP addresses: the
# server certificate is issued for "localhost", and the configuration host
# is named so.
# The configuration is signed with the build's first test key, which it trusts.
start_sandbox "$work" python3 "$source/tools/sandbox/sandbox.py" --files "$work/files" --client-ip-bind 127.0.0.2 \
  --cert-name localhost --sign-key "$build/test-keys/signer-1.pem" --sign-key "$build/test-keys/signer-2.pem" ||
  fail "the sandbox did not start"

# WinINet trusts the machine's root store: the test CA goes there.
"$wine" "$build/tests/windows/win_trust_ca.exe" "$(winpath "$(port ca)")" || fail "the test CA was not added"
"$wine" reg delete 'HKLM\SOFTWARE\ZKGame' /f >/dev/null 2>&1 || true

# WinINet on its own, against the same services (and the served folder,
# where the download tests put their files).
(
  export ZK_TEST_FILES_BASE="http://127.0.0.1:$(port files)" ZK_TEST_REGION_BASE="http://127.0.0.1:$(port region)"
  export ZK_TEST_CONFIG_BASE="https://localhost:$(port config)" ZK_TEST_CONTROL_BASE="http://127.0.0.1:$(port control)"
  export ZK_TEST_FILES_DIR="$(winpath "$work/files")" ZK_TEST_PROXY="127.0.0.1:$(port proxy)"
  export ZK_TEST_MIRROR_BASE="http://127.0.0.1:$(port mirror)"
  cd "$build/tests/windows" && timeout 300 "$wine" win_net_tests.exe --gtest_brief=1
) || fail "the WinINet tests failed"

# DLLs planted beside the program under the names of those it delay-loads
# (a downloads folder takes whatever a web page drops): they must never load,
# even with wine told to prefer a DLL it finds to its own.
for dll in wininet bcrypt oleacc; do cp "$build/tests/windows/planted.dll" "$work/run/$dll.dll"; done
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}wininet,bcrypt,oleacc=n,b"

export ZK_CONFIG_HOST="localhost:$(port config)"
export ZK_REGION_HOST="127.0.0.1:$(port region)"
export ZK_CLIENT_IP_HOST="$(port clientip_bind)"
export ZK_GAME_DIR="$(winpath "$work/games")"
export ZK_SAMPLE_GAME="$(winpath "$build/tests/windows/ZKUpdate.exe")"
export ZK_SETUP_SECONDS=3
# Done, and a restart asked for: a success on Windows.
export ZK_SETUP_EXIT=3010

(cd "$work/run" && exec "$wine" SelectLanguage.exe) >"$work/wine.log" 2>&1 &
pids+=($!)
window=$(find_window 'Select language' 600)
[ -n "$window" ] || fail "no window"
log() { progress_log "$work/run/ZK_Progress_Installer.log"; }
# The configuration arrives once the window is up (posted message 2028).
for _ in $(seq 120); do log | grep -q 'Game settings file download' && break; sleep 0.5; done
sleep 1
[ -n "${ZK_E2E_SHOT:-}" ] && import -window root "$ZK_E2E_SHOT"
# A second start from the same folder ends by itself, shows no window of its
# own and leaves the first one's log as it was.
cp "$work/run/ZK_Progress_Installer.log" "$work/log-before"
(cd "$work/run" && exec timeout 60 "$wine" SelectLanguage.exe) >>"$work/wine.log" 2>&1 || fail "a second start did not end by itself"
cmp -s "$work/run/ZK_Progress_Installer.log" "$work/log-before" || fail "a second start changed the first one's log"
[ "$(xdotool search --onlyvisible --name '^Select language$' | wc -l)" = 1 ] || fail "a second window appeared"
# A press on the background moves the window (a press on its caption).
before=$(xdotool getwindowgeometry "$window" | sed -n 's/ *Position: \([0-9]*,[0-9]*\).*/\1/p')
xdotool mousemove --window "$window" 30 30 mousedown 1
sleep 0.3
xdotool mousemove_relative 20 20
sleep 0.2
xdotool mousemove_relative 40 30
sleep 0.3
xdotool mouseup 1
sleep 0.5
after=$(xdotool getwindowgeometry "$window" | sed -n 's/ *Position: \([0-9]*,[0-9]*\).*/\1/p')
[ -n "$before" ] && [ "$before" != "$after" ] || fail "a press on the background did not move the window ($before -> $after)"
# Escape and Enter must neither close nor confirm the window; Down then
# picks the second language, which shows that the keys did arrive.
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
xdotool key --clearmodifiers Escape Return Down
sleep 1
xdotool search --onlyvisible --name '^Select language$' >/dev/null 2>&1 || fail "Escape or Enter closed the window"
# Install: the button's middle, in client coordinates.
xdotool mousemove --window "$window" 163 124 click 1
for _ in $(seq 120); do log | grep -q 'It has been successfully installed' && break; sleep 0.5; done
log
log | grep -q 'It has been successfully installed' || fail "the installation did not finish"
log | grep -q 'Attempt to install game(1)' || fail "the keys did not reach the window (language 1 expected)"
for _ in $(seq 20); do [ -f "$work/games/ZKGame/started.txt" ] && break; sleep 0.5; done
[ -f "$work/games/ZKGame/started.txt" ] || fail "the game was not started"
[ ! -e "$work/run/_Set_UpZK.exe" ] || fail "the setup program was not deleted"
[ "$(stat -c %Y "$work/games/ZKGame/data/카드.dat")" = 1700000000 ] || fail "the file time was not reset"
[ "$(stat -c %Y "$work/games/ZKGame/data/table.dat")" = 1700000030 ] || fail "a file time within the tolerance was changed"
for _ in $(seq 20); do xdotool search --onlyvisible --name '^Select language$' >/dev/null 2>&1 || break; sleep 0.5; done
! xdotool search --onlyvisible --name '^Select language$' >/dev/null 2>&1 || fail "the window did not close"
log | grep -qF 'The setup program ended (3010).' || fail "the setup program's exit code was not logged"
unset ZK_SETUP_EXIT
# The setup program was asked for once: its status came with its body.
served=$(curl -s "http://127.0.0.1:$(port control)/control/counts?service=files" | grep ' /setup/' || true)
[ "$(echo "$served" | grep -c .)" = 1 ] && [ "$(echo "$served" | cut -d' ' -f1)" = 1 ] ||
  fail "the setup program was not asked for exactly once: $served"
echo "setup program served: $served"

# Again, with a setup program that starts its own file again and ends at
# once: the installer finishes only after the copy, and only then starts the
# game (each setup process stamps its end, the game its start). This time the
# region check never answers and the setup comes slowly, its first attempt
# dropped: the status line, read from outside, says each phase in order (the
# setup's first process ends at once, so the wait is for its copy).
export ZK_SETUP_MODE=relaunch
control() { curl -fsS -X POST "http://127.0.0.1:$(port control)/control/fault?$1" >/dev/null; }
setup_size=$(stat -c %s "$work/files/setup/ZKSetup_EN.exe")
control "service=region&mode=stalled" && control "service=files&mode=drip&rate=$((setup_size / 4))" &&
  control "service=files&mode=drop&add=1&after=$((setup_size / 3))&times=1" || fail "the sandbox's faults were not set"
"$wine" "$build/tests/windows/win_status_probe.exe" "$(winpath "$work/status.txt")" >>"$work/wine.log" 2>&1 &
pids+=($!)
(cd "$work/run" && exec "$wine" SelectLanguage.exe) >>"$work/wine.log" 2>&1 &
pids+=($!)
window=$(find_window 'Select language' 600)
[ -n "$window" ] || fail "no window for the second installation"
for _ in $(seq 120); do log | grep -q 'Game settings file download' && break; sleep 0.5; done
sleep 1
# This one with the keyboard alone: the dialog's navigation from the list to
# Install's stand-in, and Space.
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
sleep 0.5
xdotool key Tab
sleep 0.5
[ -n "${ZK_E2E_RING_SHOT:-}" ] && import -window root "$ZK_E2E_RING_SHOT"
xdotool key space
for _ in $(seq 120); do log | grep -q 'It has been successfully installed' && break; sleep 0.5; done
log | grep -q 'It has been successfully installed' || fail "the second installation (Tab, Space) did not finish"
log | grep -qF 'The setup program ended (0).' || fail "the relaunching setup's exit code was not logged"
for _ in $(seq 20); do [ "$(wc -l <"$work/games/ZKGame/started.txt")" -ge 2 ] && break; sleep 0.5; done
ends=$(wc -l <"$work/games/setup-ended.txt")
[ "$ends" -eq 3 ] || fail "expected 3 setup processes to have ended (1 + the relaunching one and its copy), found $ends"
last_end=$(sort -n "$work/games/setup-ended.txt" | tail -n 1 | tr -d '\r')
game_start=$(tail -n 1 "$work/games/ZKGame/started.txt" | cut -d' ' -f2)
[ -n "$game_start" ] && [ "$game_start" -gt "$last_end" ] ||
  fail "the game started ($game_start) before the setup's copy ended ($last_end)"
[ ! -e "$work/run/_Set_UpZK.exe" ] || fail "the relaunching setup's file was not deleted"
control "service=region&mode=ok" && control "service=files&mode=ok" || fail "the sandbox's faults were not cleared"
for _ in $(seq 50); do kill -0 "${pids[-2]}" 2>/dev/null || break; sleep 0.1; done  # the probe, once the window went
line=0
for phase in '^Connecting…$' '^Choose a language and press Install\.$' '^[0-9]+\.[0-9] of [0-9]+\.[0-9] MB' \
  '^Connection lost — trying again in [0-9] s \(attempt 2 of 5\)$' '^[0-9.]+ of [0-9.]+ MB, [0-9.]+ [KM]B/s, .* left$' \
  '^Setup has ended; waiting for the programs it started…$'; do
  at=$(tail -n +$((line + 1)) "$work/status.txt" | tr -d '\r' | grep -nE "$phase" | head -n 1 | cut -d: -f1 || true)
  [ -n "$at" ] || { cat "$work/status.txt"; fail "the status line did not say '$phase' after its line $line"; }
  line=$((line + at))
done
echo "status line: $(wc -l <"$work/status.txt") texts, every phase in order"
[ ! -e "$work/run/planted-loaded.txt" ] || fail "a DLL planted beside the program was loaded"

# Behind a proxy: the Internet settings name the sandbox's proxy, which
# wants Basic credentials, and the configuration and files services refuse
# direct connections. The direct try cannot connect, WinINet's credential
# dialog comes up over the window, the player's answer is taken for the
# configuration and again, without asking, for the setup program. The
# region lookups meet the same 407 first and fall back to "EN".
control() { curl -s -X POST "http://127.0.0.1:$(port control)/control/$1" >/dev/null; }
control reset && control "fault?service=config&mode=direct-refused" && control "fault?service=files&mode=direct-refused" &&
  control "fault?service=proxy&mode=auth" || fail "the sandbox could not be put behind its proxy"
settings='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'
"$wine" reg add "$settings" /v ProxyServer /t REG_SZ /d "127.0.0.1:$(port proxy)" /f >/dev/null
"$wine" reg add "$settings" /v ProxyEnable /t REG_DWORD /d 1 /f >/dev/null
unset ZK_SETUP_MODE
mkdir -p "$work/proxied" "$work/proxied-games"
cp "$work/run/SelectLanguage.exe" "$work/proxied/"
# Here a screen reader's request loads Active Accessibility: from the system only.
cp "$build/tests/windows/planted.dll" "$work/proxied/oleacc.dll"
(cd "$work/proxied" && ZK_GAME_DIR="$(winpath "$work/proxied-games")" exec "$wine" SelectLanguage.exe) >>"$work/wine.log" 2>&1 &
pids+=($!)
window=$(find_window 'Select language' 600)
[ -n "$window" ] || fail "no window behind the proxy"
dialog=$(find_window 'Enter Network Password' 600)
[ -n "$dialog" ] || fail "the proxy's request for credentials brought up no dialog"
sleep 0.5
[ -n "${ZK_E2E_PROXY_SHOT:-}" ] && import -window root "$ZK_E2E_PROXY_SHOT"
# The keys go to whatever has the focus: wait until the dialog has it (a
# loaded machine gave it late, and the credentials went nowhere).
for _ in $(seq 50); do
  xdotool windowactivate --sync "$dialog" 2>/dev/null || xdotool windowfocus --sync "$dialog" 2>/dev/null || true
  [ "$(xdotool getactivewindow 2>/dev/null)" = "$dialog" ] && break
  sleep 0.2
done
sleep 0.5
xdotool type --delay 50 zk
xdotool key Tab
xdotool type --delay 50 secret
xdotool key Return
proxied_log() { progress_log "$work/proxied/ZK_Progress_Installer.log"; }
for _ in $(seq 120); do proxied_log | grep -q 'Game settings file' && break; sleep 0.5; done
proxied_log | grep -qF 'Your CODE(0 - FORCED).' || fail "the region lookups did not fall back past the proxy's 407"
proxied_log | grep -qF 'Game settings file was successfully downloaded(0).' ||
  fail "the configuration did not come through the proxy"
# Install pressed from another program through its accessible object.
"$wine" "$build/tests/windows/win_a11y_probe.exe" >"$work/a11y.txt" 2>>"$work/wine.log" ||
  { cat "$work/a11y.txt"; fail "Install's default action did not press it"; }
tr -d '\r' <"$work/a11y.txt" | grep -q '"Install" role 43 ' && tr -d '\r' <"$work/a11y.txt" | grep -q '"Close" role 43 ' ||
  { cat "$work/a11y.txt"; fail "the dialog's children did not name both push buttons"; }
for _ in $(seq 120); do proxied_log | grep -q 'It has been successfully installed' && break; sleep 0.5; done
[ ! -e "$work/proxied/planted-loaded.txt" ] || fail "the oleacc.dll planted beside the program was loaded"
proxied_log | grep -q 'It has been successfully installed' || fail "the installation behind the proxy did not finish"
for _ in $(seq 20); do [ -f "$work/proxied-games/ZKGame/started.txt" ] && break; sleep 0.5; done
[ -f "$work/proxied-games/ZKGame/started.txt" ] || fail "the game behind the proxy was not started"
! xdotool search --onlyvisible --name '^Enter Network Password$' >/dev/null 2>&1 || fail "the credentials were asked for twice"
curl -s "http://127.0.0.1:$(port control)/control/counts?service=proxy" | grep -q " localhost:$(port config)$" ||
  fail "the configuration did not go through the proxy's tunnel"
config_served=$(curl -s "http://127.0.0.1:$(port control)/control/counts?service=config" | grep ' /Desktop/' | cut -d' ' -f1)
[ "$config_served" = 1 ] || fail "the configuration was not asked for once through the proxy: $config_served"
served=$(curl -s "http://127.0.0.1:$(port control)/control/counts?service=files" | grep ' /setup/' | cut -d' ' -f1)
[ "$served" = 1 ] || fail "the setup program was not asked for once through the proxy: $served"
"$wine" reg add "$settings" /v ProxyEnable /t REG_DWORD /d 0 /f >/dev/null
control reset || true

# A configuration server that never answers: the window still paints itself
# again after being hidden and shown, and the window manager's close ends
# the program within 2 s, the try still under way.
curl -s -X POST "http://127.0.0.1:$(port control)/control/fault?service=config&mode=stalled" >/dev/null ||
  fail "the sandbox's configuration could not be stalled"
mkdir -p "$work/stalled"
unset ZK_SETUP_MODE
(cd "$work/stalled" && exec "$wine" "$work/run/SelectLanguage.exe") >>"$work/wine.log" 2>&1 &
stalled=$!
pids+=($stalled)
window=$(find_window 'Select language' 600)
[ -n "$window" ] || fail "no window while the configuration stalls"
sleep 2
import -window "$window" "$work/stalled-before.png"
xdotool windowunmap --sync "$window"
sleep 0.3
xdotool windowmap --sync "$window"
sleep 1.5
import -window "$window" "$work/stalled-after.png"
[ -n "${ZK_E2E_STALLED_SHOT:-}" ] && cp "$work/stalled-after.png" "$ZK_E2E_STALLED_SHOT"
differing=$(compare -metric AE -fuzz 10% "$work/stalled-before.png" "$work/stalled-after.png" null: 2>&1 || true)
pixels=$(identify -format '%[fx:w*h]' "$work/stalled-before.png")
[ "${differing%%.*}" -lt $((pixels / 50)) ] 2>/dev/null ||
  fail "the window did not paint itself again while the configuration stalled ($differing of $pixels pixels differ)"
kill -0 "$stalled" 2>/dev/null || fail "the program ended by itself while the configuration stalled"
xdotool windowactivate --sync "$window" key --clearmodifiers alt+F4
asked=$(($(date +%s%N) / 1000000))
while kill -0 "$stalled" 2>/dev/null && [ $(($(date +%s%N) / 1000000 - asked)) -lt 20000 ]; do sleep 0.02; done
took=$(($(date +%s%N) / 1000000 - asked))
kill -0 "$stalled" 2>/dev/null && fail "the program still ran 20 s after the close while the configuration stalled"
[ "$took" -lt 2000 ] || fail "the program took $took ms to end after the close while the configuration stalled"
progress_log "$work/stalled/ZK_Progress_Installer.log" | grep -q 'Game settings file' &&
  fail "an abandoned configuration try was logged"
curl -s -X POST "http://127.0.0.1:$(port control)/control/fault?service=config&mode=ok" >/dev/null || true

# A setup download that stalls halfway: the close ends the program within
# 2 s all the same, and the partial file goes with it.
curl -s -X POST "http://127.0.0.1:$(port control)/control/fault?service=files&mode=stall-body" >/dev/null ||
  fail "the sandbox's files could not be stalled"
mkdir -p "$work/closing"
cp "$work/run/SelectLanguage.exe" "$work/closing/"
(cd "$work/closing" && exec "$wine" SelectLanguage.exe) >>"$work/wine.log" 2>&1 &
closing=$!
pids+=($closing)
window=$(find_window 'Select language' 600)
[ -n "$window" ] || fail "no window for the stalled download"
closing_log() { progress_log "$work/closing/ZK_Progress_Installer.log"; }
for _ in $(seq 120); do closing_log | grep -q 'Game settings file download' && break; sleep 0.5; done
xdotool mousemove --window "$window" 163 124 click 1
for _ in $(seq 100); do [ -e "$work/closing/_Set_UpZK.exe.part" ] && break; sleep 0.1; done
[ -e "$work/closing/_Set_UpZK.exe.part" ] || fail "the stalled download did not start"
sleep 1
xdotool windowactivate --sync "$window" key --clearmodifiers alt+F4
asked=$(($(date +%s%N) / 1000000))
while kill -0 "$closing" 2>/dev/null && [ $(($(date +%s%N) / 1000000 - asked)) -lt 20000 ]; do sleep 0.02; done
download_took=$(($(date +%s%N) / 1000000 - asked))
kill -0 "$closing" 2>/dev/null && fail "the program still ran 20 s after the close while the download stalled"
[ "$download_took" -lt 2000 ] || fail "the program took $download_took ms to end after the close while the download stalled"
for _ in $(seq 20); do [ -e "$work/closing/_Set_UpZK.exe.part" ] || break; sleep 0.1; done
[ ! -e "$work/closing/_Set_UpZK.exe.part" ] || fail "the close left the partial file behind"
[ ! -e "$work/closing/_Set_UpZK.exe" ] || fail "the close left a setup program behind"
curl -s -X POST "http://127.0.0.1:$(port control)/control/fault?service=files&mode=ok" >/dev/null || true

echo "PASS: window dragged, keys swallowed, installed, setup program deleted, game started, file times reset," \
  "window closed; a relaunching setup program was waited for; planted DLLs were not loaded;" \
  "installed behind a proxy that asked for credentials once, through WinINet's dialog;" \
  "closed within $took ms while the configuration stalled" \
  "and within $download_took ms while the download stalled, leaving no partial file"
