#!/usr/bin/env bash
# Installs everything the build needs on Debian: the system packages, then
# libjpeg-turbo and libtiff cross-built for mingw into .cache/ (skipped when cached).
# Safe to rerun; prints nothing when there is nothing to do.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# Every tool a script or test calls is named here, not left to another package's
# dependencies: g++ for the native presets (without it c++ would be clang), objdump of
# both mingw triplets for the export checks, clang-14 with its runtimes for the fuzzers,
# perl and mcs for the host-declaration tests (which are silently left out without them).
PACKAGES=(
  cmake ninja-build nasm dpkg-dev g++
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  wine wine64 wine32:i386
  googletest libbenchmark-dev libjpeg62-turbo-dev libtiff-dev libyuv-dev
  clang-14 libclang-rt-14-dev
  perl mono-mcs
)

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi

# 32-bit Wine runs the i686 build's tests; its packages come from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  $SUDO apt-get update -q >/dev/null
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q "${missing[@]}" >/dev/null
fi

bash "$ROOT/scripts/build-mingw-deps.sh" x86_64-w64-mingw32
bash "$ROOT/scripts/build-mingw-deps.sh" i686-w64-mingw32
