#!/usr/bin/env bash
# Installs the Debian packages that building, testing and the demo need.
# Idempotent: asks apt only when something is missing.
set -euo pipefail
source "$(dirname "$0")/lib-packages.sh"

ensure_packages \
  build-essential cmake ninja-build pkg-config git \
  libgtk-3-dev libcurl4-openssl-dev libssl-dev libjpeg62-turbo-dev libcairo2-dev \
  libgtest-dev libgmock-dev libbenchmark-dev \
  clang clang-format libclang-rt-14-dev \
  python3 openssl ca-certificates \
  xvfb xauth xdotool x11-utils imagemagick openbox fuse3 python3-fusepy \
  dbus at-spi2-core python3-pyatspi \
  fonts-wqy-microhei fonts-nanum fonts-dejavu-core
