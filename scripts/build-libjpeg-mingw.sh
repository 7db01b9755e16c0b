#!/usr/bin/env bash
# Builds libjpeg-turbo as a static mingw-w64 library from Debian's source
# package (there is no mingw package of it). The source and both builds are
# cached in the build tree: build/win-deps/<arch>/{lib,include}.
# Usage: scripts/build-libjpeg-mingw.sh i686|x86_64
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
arch=$1
deps=$root/build/win-deps
prefix=$deps/$arch
if [ -f "$prefix/lib/libjpeg.a" ] && [ -f "$prefix/include/jpeglib.h" ]; then
  exit 0
fi

src=$(ls -d "$deps"/src/libjpeg-turbo-*/ 2>/dev/null | head -n1 || true)
if [ -z "$src" ]; then
  # Source packages: the machine's own entry, with deb-src added to its types.
  sources=/etc/apt/sources.list.d/debian.sources
  if [ -f "$sources" ] && ! grep -q '^Types:.*deb-src' "$sources"; then
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    "${sudo_cmd[@]}" sed -i 's/^Types: deb$/Types: deb deb-src/' "$sources"
    "${sudo_cmd[@]}" apt-get update -qq
  fi
  mkdir -p "$deps/src"
  (cd "$deps/src" && apt-get source -qq libjpeg-turbo >/dev/null)
  src=$(ls -d "$deps"/src/libjpeg-turbo-*/ | head -n1)
fi

work=$deps/build-$arch
cmake -S "$src" -B "$work" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$arch.cmake" \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DCMAKE_INSTALL_LIBDIR=lib \
  -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
  -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF -DWITH_JAVA=OFF \
  -DCMAKE_POSITION_INDEPENDENT_CODE=OFF >/dev/null
cmake --build "$work" --target jpeg-static -j2 >/dev/null
mkdir -p "$prefix/lib" "$prefix/include"
cp "$work/libjpeg.a" "$prefix/lib/libjpeg.a"
cp "$work/jconfig.h" "$src/jpeglib.h" "$src/jmorecfg.h" "$src/jerror.h" "$prefix/include/"
echo "libjpeg-turbo ($arch) in $prefix"
