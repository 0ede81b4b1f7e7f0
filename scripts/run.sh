#!/usr/bin/env bash
# Installs what is missing, builds, and starts KivoApp under Wine on a virtual display (or on your
# own with KIVO_USE_OWN_DISPLAY=1). KivoApp registers its filters itself when it starts.
# On the virtual display nobody sees the window: every few seconds the script saves a screenshot
# of the screen and the frame a viewer of "Kivo Filter Source" receives, as PNG files under
# build/run/ (it prints where).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
scripts/setup.sh
scripts/build.sh x86_64 i686

. scripts/wine-env.sh
own_display=""
if [ -n "${KIVO_USE_OWN_DISPLAY:-}" ] && [ -n "${DISPLAY:-}" ]; then own_display=1; fi
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  kivo_wine_down
}
trap cleanup EXIT
kivo_wine_up "$here/build/run-prefix"
# Test cameras and microphones to choose from (Wine has none).
kivo_devices_up "$here/build/x86_64" || echo "run: no test devices: KivoApp will find no camera"
dist="$here/dist/win64"
if [ ! -f "$dist/KivoApp.exe" ]; then
  echo "run: KivoApp.exe is not built; what exists is in $dist"
  exit 1
fi

if [ -z "$own_display" ]; then
  out="$here/build/run"
  mkdir -p "$out"
  viewer="$here/build/x86_64/tests/kivoapp/kivo_frame_client.exe"
  (
    # screenshots of the virtual display, composed from its windows (screenshot.sh says why)
    while sleep 3; do
      scripts/screenshot.sh "$DISPLAY" "$out/screen.png.part.png" 2>/dev/null &&
        mv "$out/screen.png.part.png" "$out/screen.png"
    done
  ) &
  pids+=($!)
  if [ -f "$viewer" ]; then
    (
      # a viewer of the virtual camera in its own process, once KivoApp has registered it
      sleep 5
      /usr/lib/wine/wine64 "$viewer" watch "$(winepath -w "$out/frame.bmp" 2>/dev/null)" 3 >/dev/null 2>&1 &
      vpid=$!
      trap 'kill $vpid 2>/dev/null' EXIT
      while sleep 3; do
        [ -f "$out/frame.bmp" ] && convert "$out/frame.bmp" "$out/frame.png.part.png" 2>/dev/null &&
          mv "$out/frame.png.part.png" "$out/frame.png"
      done
    ) &
    pids+=($!)
  fi
  echo "run: KivoApp runs on the virtual display $DISPLAY"
  echo "run: screenshot of the screen, refreshed every 3 s: $out/screen.png"
  echo "run: frame a viewer of \"Kivo Filter Source\" receives, refreshed every 3 s: $out/frame.png"
  echo "run: end KivoApp through its tray menu, or press Ctrl+C"
else
  echo "run: starting KivoApp on DISPLAY=$DISPLAY"
fi
/usr/lib/wine/wine64 "$dist/KivoApp.exe" || echo "run: KivoApp ended with code $?"
