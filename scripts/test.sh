#!/usr/bin/env bash
# Installs what is missing, builds both architectures and runs every test under Wine (x86_64;
# the i686 build is compiled and linked only: 32-bit code cannot run on these machines).
# Extra arguments go to ctest (for example -R FrameSection).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
scripts/setup.sh
scripts/build.sh x86_64 i686

. scripts/wine-env.sh
trap kivo_wine_down EXIT
kivo_wine_up "$here/build/x86_64/wineprefix" "$here/build/x86_64"
jobs=${KIVO_TEST_JOBS:-$(nproc)}
ctest --test-dir build/x86_64 --output-on-failure --no-tests=error -j "$jobs" "$@"
