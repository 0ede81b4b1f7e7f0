#!/usr/bin/env bash
# Builds the benchmarks (x86_64) and runs them under Wine, printing their figures.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
scripts/setup.sh >/dev/null
scripts/build.sh x86_64 >/dev/null
cmake --build build/x86_64 --target bench >/dev/null
. scripts/wine-env.sh
trap kivo_wine_down EXIT
kivo_wine_up "$here/build/x86_64/wineprefix" "$here/build/x86_64"
for b in $(find build/x86_64/tests -name '*_bench.exe' | sort); do
  echo "== $(basename "$b" .exe)"
  (cd "$(dirname "$b")" && /usr/lib/wine/wine64 "./$(basename "$b")")
done
