#!/bin/sh
# Builds the libFuzzer targets with clang into fuzz/build (or $1).
# The main build uses g++; these need clang's fuzzer runtime.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
out=${1:-$here/build}
cxx=${CXX_FUZZ:-clang++}
mkdir -p "$out"
flags="-std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -I$root"

# Shared core sources: text helpers, the parser, the JSON extraction.
common="$root/net/Text.cpp $root/platform/posix/text_iconv.cpp"
$cxx $flags -o "$out/game_settings_fuzzer" "$here/game_settings_fuzzer.cpp" \
  "$root/net/GameSettingsParse.cpp" $common
$cxx $flags -o "$out/json_extract_fuzzer" "$here/json_extract_fuzzer.cpp" \
  "$root/net/JsonExtract.cpp" $common
echo "fuzzers in $out"
