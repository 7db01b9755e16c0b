#!/usr/bin/env bash
# The packages of the Windows build and its wine tests. Idempotent.
set -euo pipefail
source "$(dirname "$0")/lib-packages.sh"

ensure_packages \
  cmake ninja-build dpkg-dev \
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 \
  wine64 libgtest-dev osslsigncode \
  python3 openssl xvfb xauth xdotool x11-utils openbox
