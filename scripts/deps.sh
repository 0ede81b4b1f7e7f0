#!/usr/bin/env bash
# Cross-builds libpng, libjpeg-turbo and giflib as static libraries for one
# MinGW-w64 target from Debian's source packages.
# Usage: deps.sh <x86_64|i686> <deps-dir>
# Results land in <deps-dir>/<arch>/{include,lib}; a second run reuses them.
set -euo pipefail

arch=$1
root=$(realpath -m "$2")
here=$(cd "$(dirname "$0")/.." && pwd)
triplet=$arch-w64-mingw32
prefix=$root/$arch
stamp=$prefix/.done-v1
[ -f "$stamp" ] && exit 0

src=$root/src
mkdir -p "$src" "$prefix/include" "$prefix/lib"

fetch() {
  # The security archive may lack the sources of its newest builds; fall back to the release's.
  local codename; codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
  (cd "$src" && rm -rf ./* && apt-get source -qq libpng1.6 libjpeg-turbo giflib >/dev/null 2>&1) ||
  (cd "$src" && rm -rf ./* && apt-get source -qq "libpng1.6/$codename" "libjpeg-turbo/$codename" "giflib/$codename" >/dev/null 2>&1)
}
exec 9>"$root/.fetch.lock"
flock 9
if [ ! -f "$src/.fetched" ]; then
  fetch || { echo "deps: apt-get source failed (is a deb-src entry configured? run scripts/setup.sh)" >&2; exit 1; }
  touch "$src/.fetched"
fi
flock -u 9
pngsrc=$(find "$src" -maxdepth 1 -type d -name 'libpng1.6-*' | head -1)
jpegsrc=$(find "$src" -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -1)
gifsrc=$(find "$src" -maxdepth 1 -type d -name 'giflib-*' | head -1)
toolchain=$here/cmake/toolchain-$arch.cmake
jobs=$(nproc)
work=$root/build-$arch
rm -rf "$work"; mkdir -p "$work"
log=$root/build-$arch.log
echo "deps: building libpng, libjpeg-turbo and giflib for $arch (log: $log)"
exec 3>&1 >"$log" 2>&1
trap 'echo "deps: failed for $arch; the end of $log:" >&3; tail -25 "$log" >&3' ERR

cmake -S "$pngsrc" -B "$work/png" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -Wno-dev -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_EXECUTABLES=OFF -DPNG_TESTS=OFF \
  -DZLIB_LIBRARY=/usr/$triplet/lib/libz.a -DZLIB_INCLUDE_DIR=/usr/$triplet/include
cmake --build "$work/png" -j "$jobs"
cmake --install "$work/png"

cmake -S "$jpegsrc" -B "$work/jpeg" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -Wno-dev -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF
cmake --build "$work/jpeg" -j "$jobs"
cmake --install "$work/jpeg"

rm -rf "$work/gif"; cp -r "$gifsrc" "$work/gif"
make -s -C "$work/gif" CC=$triplet-gcc-posix AR=$triplet-ar libgif.a
cp "$work/gif/libgif.a" "$prefix/lib/"
cp "$work/gif/gif_lib.h" "$prefix/include/"

rm -rf "$work"
touch "$stamp"
echo "deps: $arch ready in $prefix" >&3
