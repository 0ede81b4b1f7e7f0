#!/usr/bin/env bash
# Installs what is missing, builds, registers the filters in the project's Wine prefix and starts
# KivoApp under Wine on a virtual display (or on your own with KIVO_USE_OWN_DISPLAY=1).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
scripts/setup.sh
scripts/build.sh x86_64 i686

. scripts/wine-env.sh
trap kivo_wine_down EXIT
kivo_wine_up "$here/build/run-prefix"
# Test cameras and microphones to choose from (Wine has none).
kivo_devices_up "$here/build/x86_64" || echo "run: no test devices: KivoApp will find no camera"
dist="$here/dist/win64"
missing=()
for f in kivosrc.ax kivotrans.ax; do
  if [ -f "$dist/$f" ]; then
    /usr/lib/wine/wine64 regsvr32 /s "$(winepath -w "$dist/$f" 2>/dev/null || echo "$dist/$f")" &&
      echo "run: registered $f" || echo "run: registering $f failed"
  else
    missing+=("$f")
  fi
done
if [ -f "$dist/KivoApp.exe" ]; then
  echo "run: starting KivoApp on DISPLAY=$DISPLAY"
  /usr/lib/wine/wine64 "$dist/KivoApp.exe"
else
  missing+=(KivoApp.exe)
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "run: not built yet: ${missing[*]}"
  echo "run: what exists is in $dist"
fi
