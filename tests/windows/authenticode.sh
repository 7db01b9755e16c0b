#!/usr/bin/env bash
# Authenticode signing of the Windows program (scripts/sign-windows.sh) with a
# throwaway self-signed code-signing certificate made here: a signed copy
# verifies against that certificate, names the product and uses SHA-256; a
# byte changed after signing fails; a signing that cannot be verified leaves
# the program exactly as it was.
# Argument: the built program (it is copied, never changed).
set -euo pipefail
cd "$(dirname "$0")/../.."
built=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: authenticode: $*"; exit 1; }

throwaway_certificate() {  # NAME: $work/NAME.pem and $work/NAME.key
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=$1" \
    -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
    -keyout "$work/$1.key" -out "$work/$1.pem" 2>/dev/null
}
throwaway_certificate signer
throwaway_certificate stranger

cp "$built" "$work/program.exe"
scripts/sign-windows.sh "$work/program.exe" "$work/signer.pem" "$work/signer.key" \
  --url https://zkgame.invalid/ --ca-file "$work/signer.pem" >/dev/null || fail "signing failed"
osslsigncode verify -in "$work/program.exe" -CAfile "$work/signer.pem" >"$work/verify.log" 2>&1 ||
  { cat "$work/verify.log"; fail "the signed copy does not verify"; }
grep -q 'Text description: ZK Zirod Installer' "$work/verify.log" || fail "the signature does not name the product"
grep -q 'Message digest algorithm *: *SHA256' "$work/verify.log" || fail "the signature's digest is not SHA-256"
osslsigncode verify -in "$work/program.exe" -CAfile "$work/stranger.pem" >/dev/null 2>&1 &&
  fail "verified against a certificate that did not sign"

# One byte changed after signing.
cp "$work/program.exe" "$work/changed.exe"
printf '\x5a' | dd of="$work/changed.exe" bs=1 seek=5000 conv=notrunc status=none
cmp -s "$work/program.exe" "$work/changed.exe" && fail "the byte was not changed"
osslsigncode verify -in "$work/changed.exe" -CAfile "$work/signer.pem" >"$work/changed.log" 2>&1 &&
  fail "a program changed after signing verifies"
grep -q MISMATCH "$work/changed.log" || { cat "$work/changed.log"; fail "the change was not found by its digest"; }

# A signature the script cannot verify (another authority trusted) is not
# kept: the program stays byte for byte as it was, and no file is left.
cp "$built" "$work/kept.exe"
scripts/sign-windows.sh "$work/kept.exe" "$work/signer.pem" "$work/signer.key" \
  --ca-file "$work/stranger.pem" >/dev/null 2>&1 && fail "a signature that does not verify was accepted"
cmp -s "$built" "$work/kept.exe" || fail "a failed signing changed the program"
[ -z "$(find "$work" -name '.signing-*')" ] || fail "a failed signing left its temporary file"
echo "authenticode: signed, verified, a changed byte refused"
