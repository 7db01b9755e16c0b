#!/usr/bin/env bash
# Builds the Windows programs with mingw-w64: product-win-i686 (the product,
# without staging knobs) and win-x64 (what the tests run under wine64).
# Installs the packages it needs when they are missing.
# Results:
#   build/product-win-i686/platform/win32/SelectLanguage.exe
#   build/win-x64/platform/win32/SelectLanguage.exe (+ tests/windows/*.exe)
# The win-i686 preset (32-bit, with the staging knobs) is built on request:
#   cmake --preset win-i686 && cmake --build --preset win-i686
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps-windows.sh build
for arch in i686 x86_64; do
  scripts/build-libjpeg-mingw.sh "$arch"
done
# CI (ZK_CI=1) builds the same trees with warnings as errors.
for preset in ${ZK_CI:+ci-}product-win-i686 ${ZK_CI:+ci-}win-x64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
