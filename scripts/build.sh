#!/usr/bin/env bash
# Builds the picture libraries and the system for the given architectures (default: both) and
# installs each program folder into dist/win64 and dist/win32.
# Usage: build.sh [x86_64] [i686]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
archs=("$@")
[ ${#archs[@]} -gt 0 ] || archs=(x86_64 i686)
jobs=${KIVO_JOBS:-$(nproc)}

for arch in "${archs[@]}"; do
  case $arch in
    x86_64) dist=dist/win64 ;;
    i686) dist=dist/win32 ;;
    *) echo "build: unknown architecture $arch" >&2; exit 2 ;;
  esac
  scripts/deps.sh "$arch" build/deps
  bdir=build/$arch
  if [ ! -f "$bdir/build.ninja" ]; then
    cmake -S . -B "$bdir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchain-$arch.cmake" \
      -DKIVO_DEPS_DIR="$here/build/deps/$arch" >/dev/null
  fi
  echo "build: $arch"
  cmake --build "$bdir" -j "$jobs"
  cmake --install "$bdir" --prefix "$dist" >/dev/null
  echo "build: $arch program folder in $dist"
done
