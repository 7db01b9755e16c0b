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
# Only what the program reaches stays in it: every function in a section of
# its own for the linker's garbage collection (the encoder, which only the
# page's export uses, and the stdio source and destination go), no JPEGMEM
# variable (its sscanf, and the environment's say over the decoder's
# memory), and the C library's own printf for the error texts. On i686 also
# no unwind tables: the linker keeps every .eh_frame, and with it every
# function one names, and no exception passes through libjpeg. x86_64 keeps
# them: its longjmp out of the error handler unwinds by them.
cflags="-ffunction-sections -fdata-sections -DNO_GETENV -D__USE_MINGW_ANSI_STDIO=0"
if [ "$arch" = i686 ]; then cflags+=" -fno-asynchronous-unwind-tables -fno-unwind-tables"; fi
if [ -f "$prefix/lib/libjpeg.a" ] && [ -f "$prefix/include/jpeglib.h" ] &&
  [ "$(cat "$prefix/cflags" 2>/dev/null)" = "$cflags" ]; then
  exit 0
fi

# The machine's own archives as source entries, one per line: their URIs
# come from its apt configuration, so that no host is named here.
source_entries() {
  awk '
    function flush(  n, m, i, j, u, s) {
      if (uris != "" && types ~ /(^| )deb( |$)/ && enabled != "no") {
        n = split(uris, u, " "); m = split(suites, s, " ")
        for (i = 1; i <= n; i++) for (j = 1; j <= m; j++)
          printf "deb-src %s%s %s %s\n", (signed != "" ? "[signed-by=" signed "] " : ""), u[i], s[j], components
      }
      types = uris = suites = components = signed = enabled = ""
    }
    /^[[:space:]]*#/ { next }
    /^[[:space:]]*$/ { flush(); next }
    { field = $1; value = $0; sub(/^[^:]*:[[:space:]]*/, "", value) }
    field == "Types:" { types = value }
    field == "URIs:" { uris = value }
    field == "Suites:" { suites = value }
    field == "Components:" { components = value }
    field == "Signed-By:" { signed = value }
    field == "Enabled:" { enabled = value }
    END { flush() }
  ' /etc/apt/sources.list.d/*.sources 2>/dev/null || true
  sed -n 's/^deb[[:space:]]/deb-src /p' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true
}

# The source package through an apt configuration of the build's own (its
# sources, lists and cache under build/), so that the machine's apt sources
# are never edited and no root is needed.
fetch_source() {
  local apt=$deps/apt
  mkdir -p "$apt/parts" "$apt/lists/partial" "$apt/cache/archives/partial" "$deps/src"
  source_entries >"$apt/sources.list"
  [ -s "$apt/sources.list" ] || { echo "no apt archive is configured on this machine" >&2; return 1; }
  local options=(-o "Dir::Etc::SourceList=$apt/sources.list" -o "Dir::Etc::SourceParts=$apt/parts"
    -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache")
  apt-get "${options[@]}" update -qq
  (cd "$deps/src" && apt-get "${options[@]}" source -qq libjpeg-turbo >/dev/null)
}

src=$(ls -d "$deps"/src/libjpeg-turbo-*/ 2>/dev/null | head -n1 || true)
if [ -z "$src" ]; then
  fetch_source
  src=$(ls -d "$deps"/src/libjpeg-turbo-*/ | head -n1)
fi

work=$deps/build-$arch
rm -rf "$work"
cmake -S "$src" -B "$work" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$arch.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS="$cflags" \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DCMAKE_INSTALL_LIBDIR=lib \
  -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
  -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF -DWITH_JAVA=OFF \
  -DCMAKE_POSITION_INDEPENDENT_CODE=OFF >/dev/null
cmake --build "$work" --target jpeg-static -j2 >/dev/null
mkdir -p "$prefix/lib" "$prefix/include"
cp "$work/libjpeg.a" "$prefix/lib/libjpeg.a"
cp "$work/jconfig.h" "$src/jpeglib.h" "$src/jmorecfg.h" "$src/jerror.h" "$prefix/include/"
echo "$cflags" >"$prefix/cflags"
echo "libjpeg-turbo ($arch) in $prefix"
