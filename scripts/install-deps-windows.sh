#!/usr/bin/env bash
# The packages of the Windows build and its wine tests. Idempotent.
# Usage: scripts/install-deps-windows.sh [build]
#   build: only what scripts/build-windows.sh needs (the cross compilers,
#   the tools that fetch and build libjpeg-turbo's source, GoogleTest's
#   source and openssl for the test programs); without it, the tests' too.
set -euo pipefail
source "$(dirname "$0")/lib-packages.sh"

build=(
  cmake ninja-build dpkg-dev xz-utils
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  libgtest-dev openssl
)
tests=(wine64 osslsigncode python3 xvfb xauth xdotool x11-utils openbox)

case ${1:-all} in
  build) ensure_packages "${build[@]}" ;;
  all) ensure_packages "${build[@]}" "${tests[@]}" ;;
  *) echo "usage: $0 [build]" >&2; exit 2 ;;
esac
