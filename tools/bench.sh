#!/usr/bin/env bash
# Builds and runs the benchmark under Wine for both architectures and prints
# their tables. Where the kernel refuses 32-bit programs, x86 runs in a
# throwaway virtual machine (tools/x86-vm.sh): without KVM its CPU is
# emulated, so only the ratios, each taken in the same run, compare.
#   tools/bench.sh [x64] [x86]     (both when none is named)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/wine-common.sh"
arches=${*:-x64 x86}
for arch in $arches; do
  "$root/tools/build.sh" "$arch" ks_bench >/dev/null
  # The DLL's size is that of the one that ships: built as `make dist` builds
  # it, into a folder of its own (dist/ may hold the organisation's signed files).
  KS_DIST_DIR=build/bench-dist "$root/tools/dist.sh" "$arch" >/dev/null
  export KS_BENCH_SHIPPED_DLL="Z:$(echo "$root/build/bench-dist/$arch/KestrinSelect.dll" | tr / '\\')"
  if [ "$arch" = x86 ] && ! ks_can_run_x86; then
    echo "== x86 (in a virtual machine: this kernel refuses 32-bit programs)"
    # The table goes to a file, which comes back with the guest's results:
    # on the guest's serial console Wine would draw it as a terminal.
    table=build/bench-dist/bench-x86.txt
    rm -f "$root/$table"
    status=0
    KS_VM_BUILDS="x86 bench-dist" "$root/tools/x86-vm.sh" bash -c \
      "{ echo \"\$(wine --version)\"; tools/wine-prefix.sh x86 null >/dev/null &&
         tools/winerun.sh x86 build/x86/bin/ks_bench.exe; } >$table 2>&1" || status=$?
    [ -f "$root/$table" ] && tr -d '\r' <"$root/$table"
    [ "$status" = 0 ] || { echo "bench: x86 in the virtual machine ended with status $status"; exit 1; }
    continue
  fi
  echo "== $arch ($("$(ks_wine_loader "$arch")" --version 2>/dev/null || echo wine))"
  "$root/tools/wine-prefix.sh" "$arch" null >/dev/null
  "$root/tools/winerun.sh" "$arch" "$root/build/$arch/bin/ks_bench.exe"
done
