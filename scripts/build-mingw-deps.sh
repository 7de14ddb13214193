#!/usr/bin/env bash
# Cross-builds libjpeg-turbo and libtiff (static) for one mingw-w64 triplet from
# Debian's source packages into .cache/mingw-deps/<triplet>. Skips the work when
# the cache already holds this recipe's build.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
TRIPLET="${1:-x86_64-w64-mingw32}"
RECIPE=1
CACHE="$ROOT/.cache"
PREFIX="$CACHE/mingw-deps/$TRIPLET"
STAMP="$PREFIX/.built"

if [ -f "$STAMP" ] && grep -q "^recipe=$RECIPE\$" "$STAMP"; then
  exit 0
fi

case "$TRIPLET" in
  x86_64-*) PROC=AMD64 ;;
  i686-*)   PROC=x86 ;;
  *) echo "unknown triplet $TRIPLET" >&2; exit 2 ;;
esac

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi

# apt-get source needs deb-src entries; add a copy of the system's list if there are none.
if ! apt-cache showsrc libjpeg-turbo 2>/dev/null | grep -q '^Version:'; then
  src=/etc/apt/sources.list.d/debian.sources
  if [ -f "$src" ]; then
    sed 's/^Types: deb$/Types: deb-src/' "$src" | $SUDO tee /etc/apt/sources.list.d/qv-deb-src.sources >/dev/null
  else
    grep -h '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' | $SUDO tee /etc/apt/sources.list.d/qv-deb-src.list >/dev/null
  fi
  $SUDO apt-get update -q >/dev/null
fi

WORK="$CACHE/src"
mkdir -p "$WORK" "$PREFIX"

# Fetches the newest source version of a package that the archive can deliver
# (a listed security version may lack its .dsc); prints the unpacked folder.
fetch_source() {
  local pkg="$1" v dir
  for v in $(apt-cache showsrc "$pkg" | awk '/^Version:/{print $2}' | sort -rV | uniq); do
    dir=$(ls -d "$WORK/$pkg-$v" 2>/dev/null || true)
    if [ -n "$dir" ] && [ -f "$dir/.unpacked" ]; then echo "$dir"; return 0; fi
    rm -rf "$WORK/$pkg-$v"; mkdir -p "$WORK/$pkg-$v"
    if (cd "$WORK/$pkg-$v" && apt-get source -q --download-only "$pkg=$v" >/dev/null 2>&1); then
      (cd "$WORK/$pkg-$v" && dpkg-source -q --no-check -x ./*.dsc unpacked >/dev/null 2>&1 || true)
      if [ ! -d "$WORK/$pkg-$v/unpacked" ]; then
        # Fall back to the upstream tarball when the Debian patches do not apply.
        tar -C "$WORK/$pkg-$v" -xf "$(ls "$WORK/$pkg-$v"/*.orig.tar.* | head -1)"
        mv "$(find "$WORK/$pkg-$v" -mindepth 1 -maxdepth 1 -type d | head -1)" "$WORK/$pkg-$v/unpacked"
      fi
      touch "$WORK/$pkg-$v/.unpacked"
      echo "$WORK/$pkg-$v"; return 0
    fi
  done
  echo "no source version of $pkg could be fetched" >&2
  return 1
}

TOOLCHAIN="$WORK/toolchain-$TRIPLET.cmake"
cat > "$TOOLCHAIN" <<TC
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR $PROC)
set(CMAKE_C_COMPILER $TRIPLET-gcc-posix)
set(CMAKE_CXX_COMPILER $TRIPLET-g++-posix)
set(CMAKE_RC_COMPILER $TRIPLET-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$TRIPLET $PREFIX)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
TC

echo "build-mingw-deps: building libjpeg-turbo and libtiff for $TRIPLET (cached afterwards)"
JPEG_DIR=$(fetch_source libjpeg-turbo)
TIFF_DIR=$(fetch_source tiff)

rm -rf "$WORK/build-jpeg-$TRIPLET" "$WORK/build-tiff-$TRIPLET"
cmake -S "$JPEG_DIR/unpacked" -B "$WORK/build-jpeg-$TRIPLET" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$PREFIX" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
  -DWITH_TURBOJPEG=OFF -DWITH_SIMD=ON >"$WORK/jpeg-$TRIPLET.log" 2>&1
cmake --build "$WORK/build-jpeg-$TRIPLET" --target install >>"$WORK/jpeg-$TRIPLET.log" 2>&1 \
  || { tail -30 "$WORK/jpeg-$TRIPLET.log" >&2; exit 1; }

TIFF_OPTS=()
for o in zlib libdeflate pixarlog jbig lerc lzma zstd webp jpeg12 cxx tiff-tools tiff-tests tiff-contrib tiff-docs; do
  TIFF_OPTS+=("-D$o=OFF")
done
cmake -S "$TIFF_DIR/unpacked" -B "$WORK/build-tiff-$TRIPLET" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$PREFIX" -DBUILD_SHARED_LIBS=OFF "${TIFF_OPTS[@]}" \
  -Djpeg=ON -DJPEG_INCLUDE_DIR="$PREFIX/include" -DJPEG_LIBRARY="$PREFIX/lib/libjpeg.a" \
  >"$WORK/tiff-$TRIPLET.log" 2>&1
cmake --build "$WORK/build-tiff-$TRIPLET" --target install >>"$WORK/tiff-$TRIPLET.log" 2>&1 \
  || { tail -30 "$WORK/tiff-$TRIPLET.log" >&2; exit 1; }

printf 'recipe=%s\njpeg=%s\ntiff=%s\n' "$RECIPE" "$(basename "$JPEG_DIR")" "$(basename "$TIFF_DIR")" > "$STAMP"
echo "build-mingw-deps: done ($PREFIX)"
