#!/usr/bin/env bash
# The publisher's tool from key to served configuration: a key made here,
# the hashes filled into a code page 949 configuration (nothing else of it
# changed), signed with an expiry, verified; a changed byte or a foreign key
# (one cause: a signature cannot tell them apart), a malformed signature, no
# signature, an unreadable and a past expiry, a changed setup program each
# fail with their cause; then the configuration is served over TLS by the
# sandbox and verified end to end, the setup programs downloaded, until one
# of them changes on the server.
# Then each refusal on its own: line ends other than CR LF, keys other than
# P-256, a loose private key, an expiry the installer cannot read, a setup
# name that leads out of its folder, and a reading other than the
# installer's (config-dump's).
# With a program, the sample setup program and the key that program's build
# trusts, the real installer then takes the configuration signed with that
# key and installs from it in a window under Xvfb.
# Arguments: the publish tool, the sandbox, config-dump [, program, sample
# setup, build key].
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib-session.sh"
publish=$(realpath "$1")
sandbox=$(realpath "$2")
dump=$(realpath "$3")
program=${4:+$(realpath "$4")}
sample_setup=${5:+$(realpath "$5")}
build_key=${6:+$(realpath "$6")}
begin_session
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY  # loopback, never through a proxy
fail() { echo "FAILED: $*"; exit 1; }
# fill, sign and verify ask config-dump ($DUMP, the build's unless a test says otherwise).
tool() {
  case $1 in
    fill | sign | verify) python3 "$publish" "$1" --config-dump "${DUMP:-$dump}" "${@:2}" ;;
    *) python3 "$publish" "$@" ;;
  esac
}
# expect_failure CAUSE COMMAND...: the command exits 1 and names the cause.
expect_failure() {
  local cause=$1 rc=0
  shift
  tool "$@" >"$work/out" 2>&1 || rc=$?
  [ "$rc" -eq 1 ] || { cat "$work/out"; fail "exit $rc, not 1, for: $*"; }
  grep -q "^problem: .*$cause" "$work/out" || { cat "$work/out"; fail "no problem line with '$cause' for: $*"; }
}
cp949() { printf '%s' "$1" | iconv -f UTF-8 -t CP949; }

# Keys: made here, mode 0600, never overwritten.
cd "$work"
tool keygen key.pem >keygen.out
grep -q 'BEGIN PUBLIC KEY' keygen.out || fail "keygen printed no public key"
[ "$(stat -c %a key.pem)" = 600 ] || fail "the private key is not mode 0600"
cmp -s key.pub.pem <(tool pubkey key.pem) || fail "pubkey differs from the public half keygen wrote"
before=$(sha256sum key.pem)
! tool keygen key.pem >/dev/null 2>&1 || fail "keygen overwrote a key"
[ "$(sha256sum key.pem)" = "$before" ] || fail "keygen changed an existing key"
tool keygen foreign.pem >/dev/null

# The setup programs (the sample setup when the installer runs), one of
# them under a Korean name.
mkdir -p files/setup
japanese=$(printf '설치_JP.exe')
for name in ZKSetup_EN.exe ZKSetup_SC.exe ZKSetup_TC.exe ZKSetup_RU.exe "$japanese"; do
  if [ -n "$sample_setup" ]; then cp "$sample_setup" "files/setup/$name"; else head -c $((5000 + RANDOM)) /dev/urandom >"files/setup/$name"; fi
done

start_sandbox "$work" python3 "$sandbox" --files "$work/files"
files_url="http://127.0.0.1:$(port files)/setup/"

# A configuration as a publisher keeps it: Korean text, a stale hash that
# must be replaced where it stands, a lead byte right before a key's letters
# (one character with the "H" in the installer's reading: no key there),
# and an old signature.
{
  cp949 $'; 게임 설정 파일\r\n'
  for language in EN SC TC RU JP; do printf 'U_PATH_ZK%s=%s\r\n' "$language" "$files_url"; done
  for language in EN SC TC RU; do printf 'F_NAME_ZK%s=ZKSetup_%s.exe\r\n' "$language" "$language"; done
  cp949 "F_NAME_ZKJP=$japanese"$'\r\n'
  printf 'H_SHA2_ZKRU=stale\r\nS_SIZE_ZKRU=1\r\n'
  printf '\x81H_SHA2_ZKEN=not a key\r\n'
  printf '\xc7S_SIZE_ZKTC=1\r\n'  # no character: the key starts at the "S"
  printf 'F_NAME_Lst=ZKGame.lst\r\nF_NAME_Game=ZKGame.exe\r\nF_NAME_Update=ZKUpdate.exe\r\n'
  printf 'R_PATH_Root=SOFTWARE\\ZKGame\r\nR_PATH_Game=SOFTWARE\\ZKGame\\Game\r\n'
  printf 'SIG_P256=AAAA\r\n'
} >original.ini
cp original.ini GameConfig-V1.ini

tool fill GameConfig-V1.ini files/setup >fill.out
grep -q '^filled: ZKEN ZKSC ZKTC ZKRU ZKJP$' fill.out || { cat fill.out; fail "fill did not fill all five"; }
# Byte for byte: with the filled lines (and the old signature) taken out,
# both are the same.
strip() { LC_ALL=C grep -a -v -E $'^\xc7?(H_SHA2_|S_SIZE_|SIG_P256=)' "$1" || true; }
cmp <(strip original.ini) <(strip GameConfig-V1.ini) || fail "fill changed bytes it was not to change"
grep -q -a '^SIG_P256=' GameConfig-V1.ini && fail "fill kept the old signature line"
for language in EN SC TC RU JP; do
  name=ZKSetup_$language.exe
  [ "$language" = JP ] && name=$japanese
  hash=$(sha256sum "files/setup/$name" | cut -d' ' -f1)
  size=$(stat -c %s "files/setup/$name")
  [ "$(grep -a -c "^H_SHA2_ZK$language=$hash"$'\r$' GameConfig-V1.ini)" = 1 ] || fail "ZK$language: not one line with its hash"
  [ "$(grep -a -c "S_SIZE_ZK$language=$size"$'\r$' GameConfig-V1.ini)" = 1 ] || fail "ZK$language: not one line with its size"
done
# The installer reads the size after the stray byte: it was set there.
LC_ALL=C grep -a -q $'^\xc7S_SIZE_ZKTC='"$(stat -c %s files/setup/ZKSetup_TC.exe)"$'\r$' GameConfig-V1.ini ||
  fail "the size after a byte that starts no character was not set where the installer reads it"
# The stale value was replaced where it stood: still right after F_NAME_ZKJP.
[ "$(grep -a -A1 '^F_NAME_ZKJP=' GameConfig-V1.ini | tail -n 1 | cut -c1-12)" = "H_SHA2_ZKRU=" ] ||
  fail "the ZKRU hash moved instead of being replaced in place"

# A missing setup program is reported, and its language left alone.
cp original.ini partial.ini
mkdir only-en && cp files/setup/ZKSetup_EN.exe only-en/
tool fill partial.ini only-en >partial.out
{ grep -q '^filled: ZKEN$' partial.out && grep -q '^missing: ZKSC' partial.out; } || { cat partial.out; fail "fill's report"; }
grep -a -q '^H_SHA2_ZKRU=stale' partial.ini || fail "fill touched a language whose setup program is missing"

tool sign GameConfig-V1.ini key.pem --expires-in 2 >sign.out
grep -q 'expires ' sign.out || fail "sign did not say when the file expires"
[ "$(tail -c 2 GameConfig-V1.ini | od -An -c | tr -d ' ')" = '\r\n' ] || fail "the signature line does not end with CR LF"
tail -n 1 GameConfig-V1.ini | grep -a -q '^SIG_P256=' || fail "the signature is not the last line"
expires=$(grep -a '^X_EXPIRES=' GameConfig-V1.ini | tr -d '\r' | cut -d= -f2)
now=$(date +%s)
(( expires - now > 169000 && expires - now <= 172800 )) ||
  fail "X_EXPIRES=$expires is not two days from now"
# openssl itself agrees: the signature covers every byte before its line.
head -n -1 GameConfig-V1.ini >body.ini
tail -n 1 GameConfig-V1.ini | tr -d '\r\n' | cut -d= -f2- | base64 -d >body.sig
openssl dgst -sha256 -verify key.pub.pem -signature body.sig body.ini >/dev/null || fail "openssl does not verify the signature"

tool verify GameConfig-V1.ini --key foreign.pub.pem --key key.pub.pem --setups files/setup >verify.out ||
  { cat verify.out; fail "verify refused the signed file"; }
[ "$(grep -c '^ok: ZK.. matches' verify.out)" = 5 ] || { cat verify.out; fail "not all five setup programs compared"; }

# Each fault on its own.
cp GameConfig-V1.ini flipped.ini
printf 'X' | dd of=flipped.ini bs=1 seek=200 conv=notrunc status=none
expect_failure "the signature does not match" verify flipped.ini --key key.pub.pem
expect_failure "the signature does not match" verify GameConfig-V1.ini --key foreign.pub.pem
sed -i -e '$ s/^SIG_P256=/SIG_P256=!/' flipped.ini
expect_failure "the signature is malformed" verify flipped.ini --key key.pub.pem
sed -e 's/^X_EXPIRES=[0-9]*/X_EXPIRES=1000000000/' GameConfig-V1.ini >expired.ini
tool sign expired.ini key.pem >/dev/null
expect_failure "expired: expires " verify expired.ini --key key.pub.pem
sed -e 's/^X_EXPIRES=/X_EXPIRES=+/' GameConfig-V1.ini >unreadable.ini
tool sign unreadable.ini key.pem >/dev/null
expect_failure "X_EXPIRES= is not a number" verify unreadable.ini --key key.pub.pem
head -n -1 GameConfig-V1.ini >unsigned.ini
expect_failure "not signed" verify unsigned.ini --key key.pub.pem
# A text whose last line has no CR LF gets one before the signature line.
head -c -2 unsigned.ini >no-line-end.ini
tool sign no-line-end.ini key.pem >/dev/null
cmp -s unsigned.ini <(head -n -1 no-line-end.ini) || fail "sign did not end the last line with CR LF, or changed more"
tool verify no-line-end.ini --key key.pub.pem >/dev/null || fail "verify refused a file signed after its line end was added"
cp -r files/setup changed && printf 'x' >>changed/ZKSetup_SC.exe
expect_failure "ZKSC: .* has [0-9]* bytes" verify GameConfig-V1.ini --key key.pub.pem --setups changed

# The refusals. Each row: the exit status, the cause the output names, the
# command; no configuration changes.
sed -e 's/\r$//' GameConfig-V1.ini >lf.ini  # with an X_EXPIRES= line, as the publisher had it
{ printf 'F_NAME_Lst=a\rb\r\n'; cat GameConfig-V1.ini; } >cr.ini
openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out rsa.pem 2>/dev/null
for curve in secp384r1 secp256k1; do
  openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:$curve -out $curve.pem 2>/dev/null
  openssl pkey -in $curve.pem -pubout -out $curve.pub.pem
done
chmod 600 rsa.pem secp*.pem
cp -p key.pem loose.pem && chmod 644 loose.pem
{ head -n -1 GameConfig-V1.ini; printf 'SIG_P256=%s\r\n' "$(head -c 73 /dev/urandom | base64 -w0)"; } >long-signature.ini
mkdir names && cp files/setup/* names/ && echo secret >outside.exe && ln -s "$work/outside.exe" names/leak.exe
name() { sed -e "s|^F_NAME_ZKEN=.*|F_NAME_ZKEN=$1\r|" original.ini >"$2"; }
name ../only-en/ZKSetup_EN.exe up.ini
name /etc/passwd absolute.ini
name 'sub\\ZKSetup_EN.exe' separator.ini
name leak.exe leak.ini
# A config-dump that reads one value otherwise than the tool.
cat >other-dump <<EOF
#!/bin/sh
"$dump" "\$@" | sed 's|"U_PATH_ZKRU=": "[^"]*"|"U_PATH_ZKRU=": "http://other/"|'
EOF
chmod +x other-dump
refusals=(
  "1|lf.ini has a bare LF at byte|sign lf.ini key.pem --expires-in 1"
  "1|lf.ini has a bare LF at byte|fill lf.ini files/setup"
  "1|a bare LF at byte .*CR LF only|verify lf.ini --key key.pub.pem"
  "1|cr.ini has a bare CR at byte 12|sign cr.ini key.pem"
  "1|rsa.pem is not a P-256|sign GameConfig-V1.ini rsa.pem"
  "1|secp256k1.pem is not a P-256|sign GameConfig-V1.ini secp256k1.pem"
  "1|secp384r1.pub.pem is not a P-256|verify GameConfig-V1.ini --key key.pub.pem --key secp384r1.pub.pem"
  "1|secp256k1.pub.pem is not a P-256|verify GameConfig-V1.ini --key secp256k1.pub.pem"
  "1|the signature is malformed: no strict DER|verify long-signature.ini --key key.pub.pem"
  "1|loose.pem may be read by others (mode 0644)|sign GameConfig-V1.ini loose.pem"
  "1|loose.pem may be read by others|pubkey loose.pem"
  "2|'nan' is no number of days above 0|sign GameConfig-V1.ini key.pem --expires-in nan"
  "2|'inf' is no number of days above 0|sign GameConfig-V1.ini key.pem --expires-in inf"
  "2|'-1' is no number of days above 0|sign GameConfig-V1.ini key.pem --expires-in -1"
  "2|'0' is no number of days above 0|sign GameConfig-V1.ini key.pem --expires-in 0"
  "1|past what the installer reads|sign GameConfig-V1.ini key.pem --expires-in 1e14"
  "1|F_NAME_ZKEN= is '../only-en/ZKSetup_EN.exe', no plain file name|fill up.ini names"
  "1|F_NAME_ZKEN= is '/etc/passwd', no plain file name|fill absolute.ini names"
  "1|F_NAME_ZKEN= is 'sub.*ZKSetup_EN.exe', no plain file name|fill separator.ini names"
  "1|names/leak.exe is a link that leads out of names|fill leak.ini names"
  "1|U_PATH_ZKRU=: the installer reads \"http://other/\"|DUMP=./other-dump fill original.ini files/setup"
  "1|U_PATH_ZKRU=: the installer reads \"http://other/\"|DUMP=./other-dump sign GameConfig-V1.ini key.pem"
  "1|problem: U_PATH_ZKRU=: the installer reads \"http://other/\"|DUMP=./other-dump verify GameConfig-V1.ini --key key.pub.pem"
)
for row in "${refusals[@]}"; do
  IFS='|' read -r status cause command <<<"$row"
  read -r -a words <<<"$command"
  row_dump=$dump
  [[ ${words[0]} == DUMP=* ]] && row_dump=${words[0]#DUMP=} && words=("${words[@]:1}")
  before=$(cat ./*.ini | sha256sum)
  rc=0
  DUMP=$row_dump tool "${words[@]}" >"$work/out" 2>&1 || rc=$?
  [ "$rc" = "$status" ] || { cat "$work/out"; fail "exit $rc, not $status, for: $command"; }
  grep -q -- "$cause" "$work/out" || { cat "$work/out"; fail "no '$cause' for: $command"; }
  [ "$(cat ./*.ini | sha256sum)" = "$before" ] || fail "a configuration changed for: $command"
done

# Served over TLS as the installer fetches it, checked end to end.
upload() {
  python3 - "$(port control)" "$1" <<'EOF'
import sys, urllib.request
body = open(sys.argv[2], "rb").read()
urllib.request.urlopen(urllib.request.Request(
    "http://127.0.0.1:%s/control/answer?service=config" % sys.argv[1], data=body, method="POST"), timeout=10).read()
EOF
}
upload GameConfig-V1.ini
served="https://127.0.0.1:$(port config)/Desktop/ZKZKINI/GameConfig-V1.ini"
tool verify "$served" --key key.pub.pem --ca-file "$(port ca)" --download >served.out ||
  { cat served.out; fail "verify refused the served configuration"; }
grep -q "^ok: ZKJP matches ${files_url}%EC%84%A4%EC%B9%98_JP.exe$" served.out || { cat served.out; fail "the Korean name's URL"; }
[ "$(grep -c '^ok: ZK.. matches http://' served.out)" = 5 ] || { cat served.out; fail "not all five downloaded"; }
# Without the test CA the server is not trusted.
expect_failure "cannot fetch .*CERTIFICATE_VERIFY_FAILED" verify "$served" --key key.pub.pem
# Nor is plain http reached through a redirect from https.
expect_failure "redirected from https to http://" verify \
  "https://127.0.0.1:$(port config)/sandbox/redirect?to=http://127.0.0.1:$(port files)/setup/ZKSetup_EN.exe" \
  --key key.pub.pem --ca-file "$(port ca)"
# A setup program changed on the server, its size kept.
cp files/setup/ZKSetup_TC.exe ZKSetup_TC.exe
printf 'Z' | dd of="files/setup/ZKSetup_TC.exe" bs=1 seek=100 conv=notrunc status=none
expect_failure "ZKTC: the SHA-256 of ${files_url}ZKSetup_TC.exe differs" \
  verify "$served" --key key.pub.pem --ca-file "$(port ca)" --download
cp ZKSetup_TC.exe files/setup/ZKSetup_TC.exe

# Mirrors: filled for every language in order, and each one downloaded and
# hashed; one that does not serve the file is a problem of its own.
mirror_url="http://127.0.0.1:$(port mirror)/setup/"
cp GameConfig-V1.ini mirrored.ini
tool fill mirrored.ini files/setup --mirror "$mirror_url" --mirror "${mirror_url%setup/}gone/" >/dev/null
[ "$(grep -a -c "^M_PATH1_ZK..=$mirror_url"$'\r$' mirrored.ini)" = 5 ] || fail "fill set no first mirror for each"
tool sign mirrored.ini key.pem >/dev/null
upload mirrored.ini
expect_failure "ZKEN: cannot fetch ${mirror_url%setup/}gone/ZKSetup_EN.exe" \
  verify "$served" --key key.pub.pem --ca-file "$(port ca)" --download
[ "$(grep -c "^ok: ZK.. matches $mirror_url" "$work/out")" = 5 ] || { cat "$work/out"; fail "not every mirror hashed"; }
expect_failure "a mirror is an http(s) folder URL" fill mirrored.ini files/setup --mirror ftp://127.0.0.1/setup/

if [ -n "$program" ]; then
  # The installer trusts its build's key: the same text signed with it.
  tool sign GameConfig-V1.ini "$build_key" --expires-in 1 >/dev/null
  upload GameConfig-V1.ini
  tool verify "$served" --key "${build_key%.pem}.pub.pem" --ca-file "$(port ca)" --download >/dev/null ||
    fail "verify refused the configuration signed with the build's key"
  mkdir bin run
  cp "$program" bin/SelectLanguage
  use_sandbox_services
  export ZK_REGISTRY_ROOT="$work/registry" ZK_GAME_DIR="$work/games" ZK_SETUP_SECONDS=1
  private_runtime_dir "$work/runtime"
  start_display
  (cd run && exec ../bin/SelectLanguage) &
  app=$!
  pids+=("$app")
  progress() { progress_log run/ZK_Progress_Installer.log; }
  window=$(find_window 'Select language')
  [ -n "$window" ] || fail "the installer showed no window"
  for _ in $(seq 600); do progress | grep -q 'Game settings file was successfully downloaded' && break; sleep 0.1; done
  progress | grep -q 'Game settings file was successfully downloaded' || { progress; fail "the installer refused the configuration"; }
  sleep 0.5
  # The fourth language, then Install.
  xdotool mousemove --window "$window" 200 69 click 1
  sleep 0.7
  xdotool key Down Down Down Return
  sleep 0.5
  xdotool mousemove --window "$window" 160 124 click 1
  for _ in $(seq 600); do kill -0 "$app" 2>/dev/null || break; sleep 0.2; done
  progress | grep -q 'It has been successfully installed.' || { progress; fail "the installer did not install from the published configuration"; }
  [ -x games/ZKGame/ZKUpdate.exe ] || fail "the game is not installed"
fi
echo "publish_test: all checks passed"
