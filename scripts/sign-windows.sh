#!/usr/bin/env bash
# Authenticode-signs the Windows program with osslsigncode (SHA-256), then
# verifies the signature. The signed program replaces the given one only
# once it is whole; a failed signing leaves the program as it was.
#
#   scripts/sign-windows.sh EXE CERT KEY [--name NAME] [--url URL]
#                           [--timestamp URL] [--ca-file PEM] [--pass-file FILE]
#
# CERT: the code-signing certificate (PEM, its chain after it); KEY: its
# private key (PEM). --name is the description Windows shows in its prompt
# (default "ZK Zirod Installer"), --url the publisher's address beside it.
# --timestamp (or ZK_TIMESTAMP_URL) names an RFC 3161 timestamp server: with
# one the signature outlives the certificate; without one (as in the offline
# tests) it is good only while the certificate is. --ca-file is what the
# verification trusts instead of the system's authorities (a test CA), and
# --pass-file holds the key's password when it has one.
set -euo pipefail

usage() {
  echo "usage: $0 EXE CERT KEY [--name NAME] [--url URL] [--timestamp URL] [--ca-file PEM] [--pass-file FILE]" >&2
  exit 2
}
[ $# -ge 3 ] || usage
program=$1 cert=$2 key=$3
shift 3
name="ZK Zirod Installer"
url=""
timestamp=${ZK_TIMESTAMP_URL:-}
ca_file=""
pass_file=""
while [ $# -gt 0 ]; do
  [ $# -ge 2 ] || usage
  case $1 in
    --name) name=$2 ;;
    --url) url=$2 ;;
    --timestamp) timestamp=$2 ;;
    --ca-file) ca_file=$2 ;;
    --pass-file) pass_file=$2 ;;
    *) usage ;;
  esac
  shift 2
done
for file in "$program" "$cert" "$key"; do
  [ -f "$file" ] || { echo "$0: $file: no such file" >&2; exit 1; }
done
command -v osslsigncode >/dev/null || { echo "$0: osslsigncode is not installed" >&2; exit 1; }

sign=(osslsigncode sign -h sha256 -certs "$cert" -key "$key" -n "$name")
[ -n "$url" ] && sign+=(-i "$url")
[ -n "$timestamp" ] && sign+=(-ts "$timestamp")
[ -n "$pass_file" ] && sign+=(-readpass "$pass_file")
verify=(osslsigncode verify)
[ -n "$ca_file" ] && verify+=(-CAfile "$ca_file")

# Signed beside the program, so that the rename is atomic and on one disk.
signed=$(mktemp "$(dirname "$program")/.signing-XXXXXX")
trap 'rm -f "$signed" "$signed.log"' EXIT
rm -f "$signed"  # osslsigncode writes a new file and will not take an existing one
"${sign[@]}" -in "$program" -out "$signed" >/dev/null
"${verify[@]}" -in "$signed" >"$signed.log" 2>&1 || {
  cat "$signed.log" >&2
  rm -f "$signed.log"
  echo "$0: the signed program does not verify; $program is left unsigned" >&2
  exit 1
}
rm -f "$signed.log"
chmod --reference="$program" "$signed"
mv -f "$signed" "$program"
echo "signed $program (\"$name\", SHA-256${timestamp:+, timestamped})"
