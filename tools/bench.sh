#!/usr/bin/env bash
# Builds and runs the benchmark under Wine for each architecture this machine
# can run, and prints its table.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/wine-common.sh"
for arch in x64 x86; do
  "$root/tools/build.sh" "$arch" ks_bench >/dev/null
  # The DLL's size is that of the one that ships: built as `make dist` builds
  # it, into a folder of its own (dist/ may hold the organisation's signed files).
  KS_DIST_DIR=build/bench-dist "$root/tools/dist.sh" "$arch" >/dev/null
  export KS_BENCH_SHIPPED_DLL="Z:$(echo "$root/build/bench-dist/$arch/KestrinSelect.dll" | tr / '\\')"
  if [ "$arch" = x86 ] && ! ks_can_run_x86; then
    echo "== x86: built; this machine's kernel cannot run 32-bit programs"
    continue
  fi
  echo "== $arch ($(wine --version 2>/dev/null || echo wine))"
  "$root/tools/wine-prefix.sh" "$arch" null >/dev/null
  "$root/tools/winerun.sh" "$arch" "$root/build/$arch/bin/ks_bench.exe"
done
