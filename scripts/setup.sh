#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and run the system.
# Safe to run again: it only installs what is missing.
set -euo pipefail

PACKAGES=(
  cmake ninja-build make nasm dpkg-dev g++
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools libz-mingw-w64-dev
  wine wine64 xvfb xauth x11-apps x11-utils imagemagick fonts-wqy-microhei
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
  googletest
)

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

have_deb_src() {
  grep -rqsE '^\s*(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/ 2>/dev/null
}

add_deb_src() {
  # Mirror every configured binary source as a source entry.
  local out=/etc/apt/sources.list.d/kivo-deb-src.sources
  local tmp; tmp=$(mktemp)
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    [ "$f" = "$out" ] && continue
    awk 'BEGIN{RS="";ORS="\n\n"} /(^|\n)Types:[^\n]*deb/ && !/(^|\n)Enabled: *no/ {sub(/Types:[^\n]*/,"Types: deb-src"); print}' "$f" >> "$tmp"
  done
  if [ -s "$tmp" ]; then $SUDO cp "$tmp" "$out"; fi
  rm -f "$tmp"
  if [ -f /etc/apt/sources.list ] && grep -qE '^\s*deb\s' /etc/apt/sources.list; then
    sed -n 's/^\s*deb\s/deb-src /p' /etc/apt/sources.list | $SUDO tee /etc/apt/sources.list.d/kivo-deb-src.list >/dev/null
  fi
}

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

updated=0
if ! have_deb_src; then
  echo "setup: adding deb-src entries"
  add_deb_src
  $SUDO apt-get update -qq
  updated=1
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  [ $updated = 1 ] || $SUDO apt-get update -qq
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
echo "setup: system packages present"
