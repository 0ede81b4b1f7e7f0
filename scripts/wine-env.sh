# Sourced by the scripts: a virtual display, the project's Wine prefix and a persistent wineserver.
# kivo_wine_up <prefix> [build tree]  /  kivo_wine_down
# With a build tree, the test devices of that build (tests/devices) are set up in the prefix.
export WINELOADER=/usr/lib/wine/wine64
export WINESERVER=/usr/lib/wine/wineserver64
export WINEDEBUG=${WINEDEBUG:--all}
# No debugger on a crash: the process ends at once and the test fails instead of hanging.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winedbg.exe=d}
KIVO_XVFB_PID=""

kivo_start_xvfb() {
  local n
  for n in $(seq 90 140); do
    [ -e /tmp/.X$n-lock ] && continue
    Xvfb :$n -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    KIVO_XVFB_PID=$!
    for _ in $(seq 1 50); do
      [ -e /tmp/.X11-unix/X$n ] && { export DISPLAY=:$n; return 0; }
      kill -0 $KIVO_XVFB_PID 2>/dev/null || break
      sleep 0.1
    done
  done
  echo "wine-env: could not start Xvfb" >&2
  return 1
}

kivo_wine_up() {
  export WINEPREFIX=$1
  if [ -z "${KIVO_USE_OWN_DISPLAY:-}" ] || [ -z "${DISPLAY:-}" ]; then kivo_start_xvfb; fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine-env: making the Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
    $WINESERVER -w
  fi
  $WINESERVER -p
  /usr/lib/wine/wine64 wineboot >/dev/null 2>&1 || true
  # Chinese interface texts draw with the CJK font (setup.sh installs it)
  local fonts; fonts=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/cjk-fonts.reg
  /usr/lib/wine/wine64 regedit /S "Z:$fonts" >/dev/null 2>&1 || echo "wine-env: could not import $fonts" >&2
  # wineboot gives the device enumerator back to Wine: the test devices come after it.
  if [ -n "${2:-}" ]; then kivo_devices_up "$2"; fi
}

# Registers the test cameras, microphones and colour converter of a build tree in $WINEPREFIX and
# checks that a DirectShow client finds and binds them; fails when they do not work.
kivo_devices_up() {
  local tool=$1/tests/devices/kivodevices.exe log=$WINEPREFIX/kivo-devices.log
  if [ ! -f "$tool" ]; then
    echo "wine-env: no test devices in $1 (the tests are not built)" >&2
    return 1
  fi
  if ! /usr/lib/wine/wine64 "$tool" install >"$log" 2>&1; then
    cat "$log" >&2
    echo "wine-env: setting up the test devices failed" >&2
    return 1
  fi
  echo "wine-env: test devices set up ($(grep -c ': ok: ' "$log") checks passed)"
}

kivo_wine_down() {
  [ -n "${WINEPREFIX:-}" ] && $WINESERVER -k >/dev/null 2>&1 || true
  [ -n "${WINEPREFIX:-}" ] && $WINESERVER -w >/dev/null 2>&1 || true
  if [ -n "$KIVO_XVFB_PID" ]; then kill $KIVO_XVFB_PID 2>/dev/null || true; wait $KIVO_XVFB_PID 2>/dev/null || true; fi
}
