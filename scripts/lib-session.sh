# Sourced by the scripts that start background processes and drive a real
# window. The caller keeps every process it starts in its `pids` array and
# calls stop_started on exit.

# begin_session: a fresh folder in `work`, an empty `pids`, and an exit trap
# that stops what was started and removes the folder.
begin_session() {
  work=$(mktemp -d)
  pids=()
  trap 'stop_started; rm -rf "$work"' EXIT
}

# Stops what was started, the latest first, and waits for it.
stop_started() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[$i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
}

# start_display [WIDTHxHEIGHTxDEPTH]: a new Xvfb display on a free number,
# with openbox on it (the close button needs a window manager); sets DISPLAY.
# Xvfb picks the number itself (-displayfd), so scripts started side by side
# never share a display. Returns once openbox manages the screen and has
# said what it supports: a window mapped before that would be taken over and
# moved while a script is already clicking into it. On a loaded machine
# openbox took over 10 s to get there, and now and then it ended during its
# start; it is started again then. Fails, saying why, when there is still no
# window manager after 60 s.
start_display() {
  local number wm_log wm_pid started
  number=$(mktemp)
  Xvfb -displayfd 3 -screen 0 "${1:-1024x768x24}" -nolisten tcp 3>"$number" >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 600); do [ -s "$number" ] && break; sleep 0.05; done
  if [ ! -s "$number" ]; then
    rm -f "$number"
    echo "start_display: Xvfb gave no display number within 30 s" >&2
    return 1
  fi
  export DISPLAY=:$(head -n 1 "$number")
  rm -f "$number"
  for _ in $(seq 600); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.05; done
  wm_log=$(mktemp)
  started=$SECONDS
  wm_pid=""
  while [ $((SECONDS - started)) -lt 60 ]; do
    if [ -z "$wm_pid" ] || ! kill -0 "$wm_pid" 2>/dev/null; then
      openbox >>"$wm_log" 2>&1 &
      wm_pid=$!
      pids+=($wm_pid)
    fi
    if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' &&
      xprop -root _NET_SUPPORTED 2>/dev/null | grep -q '_NET_ACTIVE_WINDOW'; then
      rm -f "$wm_log"
      return 0
    fi
    sleep 0.05
  done
  echo "start_display: no window manager on $DISPLAY after 60 s; openbox said:" >&2
  cat "$wm_log" >&2
  rm -f "$wm_log"
  return 1
}

# find_window TITLE [TENTHS]: the id of a visible window with exactly this
# title, waiting up to TENTHS tenths of a second (30 s); empty when none.
find_window() {
  local window=""
  for _ in $(seq "${2:-300}"); do
    window=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] && break
    sleep 0.1
  done
  echo "$window"
}

# private_runtime_dir FOLDER: a fresh runtime folder (mode 0700) for the
# programs this script starts, so that runs side by side never meet in the
# installer's one-instance lock. A Wayland display named relative to the old
# runtime folder is kept reachable by its full path.
private_runtime_dir() {
  if [ -n "${WAYLAND_DISPLAY:-}" ] && [ "${WAYLAND_DISPLAY#/}" = "$WAYLAND_DISPLAY" ] && [ -n "${XDG_RUNTIME_DIR:-}" ]; then
    export WAYLAND_DISPLAY="$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY"
  fi
  mkdir -m 700 "$1"
  export XDG_RUNTIME_DIR=$1
}

# sign_options BUILD: sets the array sign_options to the sandbox options that
# sign its configuration with BUILD's first test key, which test builds
# trust; empty for a build without test keys.
sign_options() {
  sign_options=()
  [ -f "$1/test-keys/signer-1.pem" ] && sign_options=(--sign-key "$1/test-keys/signer-1.pem")
  return 0
}

# start_sandbox WORK COMMAND...: runs COMMAND (the sandbox, with its own
# options) with its test CA in WORK/ca and its ports in WORK/ports, its
# output in WORK/sandbox.log, and returns once it listens. Fails, with that
# output, when it does not within 10 s. `port NAME` then reads a port.
start_sandbox() {
  local work=$1
  shift
  "$@" --ca-dir "$work/ca" --ports-file "$work/ports" >"$work/sandbox.log" 2>&1 &
  pids+=($!)
  sandbox_ports=$work/ports
  for _ in $(seq 200); do grep -q '^ca=' "$work/ports" 2>/dev/null && break; sleep 0.05; done
  grep -q '^ca=' "$work/ports" 2>/dev/null && return 0
  echo "start_sandbox: the sandbox did not start:" >&2
  cat "$work/sandbox.log" >&2
  return 1
}

# port NAME: a value the sandbox last started wrote to its ports file.
port() { sed -n "s/^$1=//p" "$sandbox_ports"; }

# use_sandbox_services: points a staging build at the sandbox's services.
use_sandbox_services() {
  export ZK_CONFIG_HOST="127.0.0.1:$(port config)" ZK_REGION_HOST="127.0.0.1:$(port region)"
  export ZK_CLIENT_IP_HOST="$(port clientip_bind)" ZK_EXTRA_CA_BUNDLE="$(port ca)"
}

# progress_log FILE: the installer's UTF-16 progress log as UTF-8 lines,
# without byte order marks and CRs; empty while there is none.
progress_log() { iconv -f UTF-16LE -t UTF-8 "$1" 2>/dev/null | sed 's/\xef\xbb\xbf//g' | tr -d '\r' || true; }
