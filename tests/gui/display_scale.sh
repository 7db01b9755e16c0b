#!/usr/bin/env bash
# The real window under Xvfb at GTK's window scale factors 1 and 2: the
# window is the artwork's size at that scale, shows the artwork drawn for it
# (the 2x file at 2) and not the 1x picture enlarged, and its Close button
# closes where it is drawn.
#   display_scale.sh <program> <sandbox.py> <page_picture>
# The screenshots are compared with the page the program composes, away from
# the combo box and the status line: at most 3 % apart per channel, which is
# what the reference's 5-to-8-bit widening (without repeating the top bits)
# differs by. ZK_GUI_SHOT names a folder to keep the screenshots in.
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib-session.sh"
program=$1
sandbox=$2
page_picture=$3
begin_session
fail() { echo "FAILED: $*"; exit 1; }

private_runtime_dir "$work/runtime"
start_display 1024x768x24
start_sandbox "$work" python3 "$sandbox" --fault config=stalled
use_sandbox_services
"$page_picture" 1 "$work/page1.bmp"
"$page_picture" 2 "$work/page2.bmp"
convert "$work/page1.bmp" -filter Triangle -resize 200% "$work/page1-enlarged.png"

# Pixels of a crop of two images that differ by more than the tolerance.
differing() {
  convert "$1" -crop "$3" +repage "$work/a.png"
  convert "$2" -crop "$3" +repage "$work/b.png"
  compare -metric AE -fuzz 3% "$work/a.png" "$work/b.png" null: 2>&1 || true
}

passed=0
for scale in 1 2; do
  mkdir -p "$work/run$scale"
  cd "$work/run$scale"
  GDK_SCALE=$scale "$program" &
  app=$!
  pids+=($app)
  window=$(find_window 'Select language' 200)
  [ -n "$window" ] || fail "scale $scale: no window titled 'Select language'"
  sleep 1.5
  shot="$work/shot$scale.png"
  import -window "$window" "$shot"
  [ -n "${ZK_GUI_SHOT:-}" ] && mkdir -p "$ZK_GUI_SHOT" && cp "$shot" "$ZK_GUI_SHOT/gtk-scale$scale.png"
  size=$(identify -format '%wx%h' "$shot")
  [ "$size" = "$((320 * scale))x$((160 * scale))" ] || fail "scale $scale: the window is $size"
  # The title band, the buttons and the cards, in 1x pixels.
  for region in 320x55+0+0 195x33+115+108 110x95+0+65; do
    IFS='x+' read -r w h x y <<<"$region"
    crop="$((w * scale))x$((h * scale))+$((x * scale))+$((y * scale))"
    off=$(differing "$shot" "$work/page$scale.bmp" "$crop")
    [ "$off" = 0 ] || fail "scale $scale: $off pixels of $crop differ from the ${scale}x artwork"
    if [ "$scale" = 2 ]; then
      soft=$(differing "$shot" "$work/page1-enlarged.png" "$crop")
      [ "$soft" -gt $((w * h)) ] || fail "scale 2: $crop looks like the 1x artwork enlarged ($soft pixels differ)"
    fi
  done
  # The middle of Close as drawn (1x: at 219,109, 85 x 30 pixels).
  xdotool mousemove --window "$window" $(((219 + 42) * scale)) $(((109 + 15) * scale)) click 1
  for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.05; done
  kill -0 "$app" 2>/dev/null && fail "scale $scale: a click on Close as drawn left the window open"
  wait "$app" || true
  passed=$((passed + 1))
done
echo "$passed passed, 0 failed"
