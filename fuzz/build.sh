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
  "$root/net/GameSettingsParse.cpp" "$root/net/Sha256.cpp" "$root/platform/posix/Sha256_posix.cpp" $common -lcrypto
$cxx $flags -o "$out/config_signature_fuzzer" "$here/config_signature_fuzzer.cpp" \
  "$root/net/ConfigTrust.cpp" "$root/net/Base64.cpp" "$root/net/DerSignature.cpp" \
  "$root/net/GameSettingsParse.cpp" "$root/net/Sha256.cpp" "$root/platform/posix/Sha256_posix.cpp" "$root/platform/posix/SignatureVerify_posix.cpp" $common -lcrypto
$cxx $flags -o "$out/json_extract_fuzzer" "$here/json_extract_fuzzer.cpp" \
  "$root/net/JsonExtract.cpp" $common
# The list file's rules (the registry and file helpers only come along for
# the link), the language list, and the sprite loader with its JPEG decoder.
posix="$root/net/Files.cpp $root/platform/posix/files_posix.cpp $root/platform/posix/registry_posix.cpp"
$cxx $flags -o "$out/list_file_fuzzer" "$here/list_file_fuzzer.cpp" \
  "$root/SelectLanguage/ListFile.cpp" "$root/SelectLanguage/GameFolder.cpp" $posix $common
$cxx $flags -o "$out/language_list_fuzzer" "$here/language_list_fuzzer.cpp" \
  "$root/SelectLanguage/LanguageList.cpp" $common
$cxx $flags -o "$out/sprite_file_fuzzer" "$here/sprite_file_fuzzer.cpp" \
  "$root"/sprite/SpriteLoader.cpp "$root"/sprite/SpriteSet.cpp "$root"/sprite/SpriteRle.cpp \
  "$root"/sprite/SpriteJpeg.cpp "$root"/sprite/PixelFormat.cpp "$root"/sprite/SpriteDraw.cpp \
  "$root"/sprite/SpritePage.cpp -ljpeg
echo "fuzzers in $out"
