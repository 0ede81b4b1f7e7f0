#!/usr/bin/env bash
# Cross-builds the libraries the system links, as static libraries for one MinGW-w64 target, from
# Debian's source packages:
# - libpng, libjpeg-turbo and giflib into <deps-dir>/<arch>/{include,lib};
# - the encoders' libraries, libmp3lame (lame) and libavcodec with only the MPEG-4 encoder (ffmpeg),
#   into a cache outside the clone keyed by source version,
#   ${KIVO_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kivo-deps}/<pkg>-<version>/<arch>, linked
#   from <deps-dir>/<arch>/lame and <deps-dir>/<arch>/avcodec.
# Usage: deps.sh <x86_64|i686> <deps-dir>
# A second run reuses what is there.
set -euo pipefail

arch=$1
root=$(realpath -m "$2")
here=$(cd "$(dirname "$0")/.." && pwd)
triplet=$arch-w64-mingw32
prefix=$root/$arch
jobs=${KIVO_JOBS:-$(nproc)}
toolchain=$here/cmake/toolchain-$arch.cmake
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
mkdir -p "$prefix/include" "$prefix/lib"

# apt-get source <pkg...> into the current folder; the security archive may lack the sources of its
# newest builds, so fall back to the release's.
fetch_sources() {
  local pkgs=("$@") release=()
  for p in "${pkgs[@]}"; do release+=("$p/$codename"); done
  (rm -rf ./* && apt-get source -qq "${pkgs[@]}" >/dev/null 2>&1) ||
  (rm -rf ./* && apt-get source -qq "${release[@]}" >/dev/null 2>&1) ||
  { echo "deps: apt-get source ${pkgs[*]} failed (is a deb-src entry configured? run scripts/setup.sh)" >&2; return 1; }
}

# Runs a build step with its output in the log; on failure shows the log's end.
logged() {
  local log=$1; shift
  if ! "$@" >>"$log" 2>&1; then
    echo "deps: failed; the end of $log:" >&2
    tail -25 "$log" >&2
    return 1
  fi
}

picture_libs() {
  local stamp=$prefix/.done-v1
  [ -f "$stamp" ] && return 0
  local src=$root/src
  mkdir -p "$src"
  exec 9>"$root/.fetch.lock"
  flock 9
  if [ ! -f "$src/.fetched" ]; then
    (cd "$src" && fetch_sources libpng1.6 libjpeg-turbo giflib)
    touch "$src/.fetched"
  fi
  flock -u 9
  local pngsrc jpegsrc gifsrc
  pngsrc=$(find "$src" -maxdepth 1 -type d -name 'libpng1.6-*' | head -1)
  jpegsrc=$(find "$src" -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -1)
  gifsrc=$(find "$src" -maxdepth 1 -type d -name 'giflib-*' | head -1)
  local work=$root/build-$arch log=$root/build-$arch.log
  rm -rf "$work" "$log"; mkdir -p "$work"
  echo "deps: building libpng, libjpeg-turbo and giflib for $arch (log: $log)"

  logged "$log" cmake -S "$pngsrc" -B "$work/png" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -Wno-dev -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_EXECUTABLES=OFF -DPNG_TESTS=OFF \
    -DZLIB_LIBRARY=/usr/$triplet/lib/libz.a -DZLIB_INCLUDE_DIR=/usr/$triplet/include
  logged "$log" cmake --build "$work/png" -j "$jobs"
  logged "$log" cmake --install "$work/png"

  logged "$log" cmake -S "$jpegsrc" -B "$work/jpeg" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -Wno-dev -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF
  logged "$log" cmake --build "$work/jpeg" -j "$jobs"
  logged "$log" cmake --install "$work/jpeg"

  rm -rf "$work/gif"; cp -r "$gifsrc" "$work/gif"
  logged "$log" make -s -C "$work/gif" CC="$triplet-gcc-posix" AR="$triplet-ar" libgif.a
  cp "$work/gif/libgif.a" "$prefix/lib/"
  cp "$work/gif/gif_lib.h" "$prefix/include/"

  rm -rf "$work"
  touch "$stamp"
  echo "deps: $arch picture libraries ready in $prefix"
}

cache_home=${XDG_CACHE_HOME:-${HOME:+$HOME/.cache}}
cache=${KIVO_DEPS_CACHE:-${cache_home:-$root}/kivo-deps}

# The version apt-get source would fetch, as in its file names (no epoch).
source_version() {
  apt-get source --print-uris -qq "$1" 2>/dev/null | sed -n "s/^'[^']*' $1_\(.*\)\.dsc .*/\1/p" | head -1
}

# cached_build <pkg> <link-name> <build-function>: the package's libraries for this architecture
# from the cache, built there first when missing; <deps-dir>/<arch>/<link-name> points at them.
cached_build() {
  local pkg=$1 link=$2 build=$3 version
  version=$(source_version "$pkg")
  [ -n "$version" ] || { echo "deps: no source package $pkg known to apt (run scripts/setup.sh)" >&2; return 1; }
  local out=$cache/$pkg-$version/$arch
  mkdir -p "$cache"
  exec 8>"$cache/.$pkg.lock"
  flock 8  # several clones on one machine share the cache
  if [ ! -f "$out/.done-v1" ]; then
    local work log started
    work=$(mktemp -d "$cache/.$pkg-$arch.XXXXXX")
    log=$cache/$pkg-$version-$arch.log
    rm -f "$log"
    started=$(date +%s)
    echo "deps: building $pkg $version for $arch (log: $log)"
    (cd "$work" && fetch_sources "$pkg") || { rm -rf "$work"; return 1; }
    local src built
    src=$(find "$work" -maxdepth 1 -mindepth 1 -type d -name "$pkg-*" | head -1)
    built=$(basename "$(find "$work" -maxdepth 1 -name "${pkg}_*.dsc" | head -1)" .dsc)
    built=${built#"${pkg}_"}
    if [ "$built" != "$version" ]; then
      # The release's sources instead: build those and remember that they stand in.
      out=$cache/$pkg-$built/$arch
      mkdir -p "$cache/$pkg-$version"
      ln -sfn "../$pkg-$built/$arch" "$cache/$pkg-$version/$arch"
    fi
    rm -rf "$out"; mkdir -p "$out"
    if ! "$build" "$src" "$work/build" "$out" "$log"; then rm -rf "$work" "$out"; return 1; fi
    rm -rf "$work"
    touch "$out/.done-v1"
    echo "deps: $pkg $built for $arch built in $(( $(date +%s) - started )) s"
  fi
  flock -u 8
  ln -sfn "$cache/$pkg-$version/$arch" "$prefix/$link"
}

# libmp3lame alone: no front end, no decoder.
build_lame() {
  local src=$1 work=$2 out=$3 log=$4
  mkdir -p "$work"
  (cd "$work" && logged "$log" "$src/configure" --host="$triplet" CC="$triplet-gcc-posix" --prefix="$out" \
    --disable-shared --enable-static --disable-frontend --disable-decoder --disable-gtktest \
    --disable-analyzer-hooks --disable-dependency-tracking) &&
  logged "$log" make -C "$work/libmp3lame" -j "$jobs" &&
  logged "$log" make -C "$work/libmp3lame" install &&
  logged "$log" make -C "$work/include" install
}

# libavcodec and libavutil with the MPEG-4 Part 2 encoder and nothing else.
build_avcodec() {
  local src=$1 work=$2 out=$3 log=$4 ffarch=$arch
  [ "$arch" = i686 ] && ffarch=x86
  mkdir -p "$work"
  (cd "$work" && logged "$log" "$src/configure" --prefix="$out" --target-os=mingw32 --arch="$ffarch" \
    --enable-cross-compile --cross-prefix="$triplet-" --cc="$triplet-gcc-posix" --pkg-config=false \
    --disable-autodetect --disable-everything --enable-encoder=mpeg4 --disable-programs --disable-doc \
    --enable-static --disable-shared --disable-avdevice --disable-avformat --disable-swscale \
    --disable-swresample --disable-avfilter --disable-postproc --disable-network --disable-debug) &&
  logged "$log" make -C "$work" -j "$jobs" &&
  logged "$log" make -C "$work" install
}

picture_libs
cached_build lame lame build_lame
cached_build ffmpeg avcodec build_avcodec
