#!/usr/bin/env bash
# Builds the Windows programs with mingw-w64: win-i686 (the product) and
# win-x64 (what the tests run under wine64). Results:
#   build/win-i686/platform/win32/SelectLanguage.exe
#   build/win-x64/platform/win32/SelectLanguage.exe (+ tests/windows/*.exe)
set -euo pipefail
cd "$(dirname "$0")/.."
for arch in i686 x86_64; do
  scripts/build-libjpeg-mingw.sh "$arch"
done
for preset in win-i686 win-x64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
