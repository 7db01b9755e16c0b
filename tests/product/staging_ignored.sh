#!/usr/bin/env bash
# A product build has no staging knobs: with ZK_CONFIG_HOST, ZK_REGION_HOST,
# ZK_CLIENT_IP_HOST and ZK_EXTRA_CA_BUNDLE all pointing at the sandbox, the
# product program never asks it anything and goes to its built-in hosts
# instead, and the variables' names are not even in the program. The same
# run with a staging build's program reaches the sandbox, so the check can
# tell the two apart.
#   staging_ignored.sh <product program> <staging program> <sandbox.py> [<key to sign with>]
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib-session.sh"
product=$1
staging=$2
sandbox=$3
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
requests() { curl -s --noproxy '*' "http://127.0.0.1:$(port control)/control/last?service=$1"; }

for variable in ZK_CONFIG_HOST ZK_REGION_HOST ZK_CLIENT_IP_HOST ZK_EXTRA_CA_BUNDLE; do
  grep -qa "$variable" "$product" && fail "the product program holds the name $variable"
  grep -qa "$variable" "$staging" || fail "the staging program lacks $variable: the check would prove nothing"
done

mkdir -p "$work/run"
private_runtime_dir "$work/runtime"
start_display 800x600x24
start_sandbox "$work" python3 "$sandbox" --client-ip-bind 127.0.0.1 "${sign[@]}"
use_sandbox_services

# run PROGRAM: until its first try at the configuration is logged.
run() {
  rm -f "$work/run/ZK_Progress_Installer.log"
  (cd "$work/run" && exec "$1") &
  local app=$!
  pids+=($app)
  wait_for_log 'Game settings file' 600 || fail "$1 logged no try at the configuration"
  kill "$app" 2>/dev/null || true
  wait "$app" 2>/dev/null || true
}

# The product first, while the sandbox has seen nothing at all.
run "$product"
log_text | grep -q 'Game settings file was successfully downloaded' && fail "the product program took the sandbox's configuration"
log_text | grep -q 'Game settings file download failed' || fail "the product program's try did not fail"
log_text | grep -q 'Your CODE(0 - FORCED)' || fail "the product program's region lookups did not fail"
for service in config region clientip; do
  [ -z "$(requests "$service")" ] || fail "the product program asked the sandbox's $service service"
done

run "$staging"
log_text | grep -q 'Game settings file was successfully downloaded' || fail "the staging program did not reach the sandbox"
[ -n "$(requests config)" ] || fail "the sandbox saw no request from the staging program"
echo "1 passed, 0 failed"
