#!/usr/bin/env bash
# Builds both architectures and runs every check of each with CTest
# (tools/test-arch.sh): x86 natively where the kernel runs 32-bit programs,
# otherwise in a throwaway virtual machine (tools/x86-vm.sh).
# Closing line: "tests: N passed, N failed, N skipped", from CTest's results.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/wine-common.sh"
cd "$root"

"$root/tools/setup.sh" || exit 1

archs="x64 x86"
for arch in $archs; do
  echo "== build $arch"
  mkdir -p build
  if ! "$root/tools/build.sh" "$arch" > "build/build-$arch.log" 2>&1; then
    grep -E 'error|Error' "build/build-$arch.log" | head -40
    echo "build of $arch failed (build/build-$arch.log)"; exit 1
  fi
  grep -E 'warning:' "build/build-$arch.log" | sort -u | head -20 || true
done

# Booted once per architecture; every check's prefix is a copy.
"$root/tools/wine-prefix.sh" x64 --template-only || exit 1
if ks_can_run_x86; then "$root/tools/wine-prefix.sh" x86 --template-only || exit 1; fi

# x86 runs where 32-bit programs run: here, or in a virtual machine.
# KS_X86_VM=1 takes the virtual machine even where x86 runs natively.
x86_natively=
if ks_can_run_x86 && [ -z "${KS_X86_VM:-}" ]; then x86_natively=1; fi
run_x86_suite() {
  if [ -n "$x86_natively" ]; then
    echo "== test x86 (natively: this kernel runs 32-bit programs)"
    "$root/tools/test-arch.sh" x86
  elif [ -x "$root/tools/x86-vm.sh" ]; then
    # The reproducibility check only builds (no 32-bit program runs), and the
    # build it checks is this machine's: it runs here, at full speed.
    echo "== test x86, the build-only check (reproducible), on this machine"
    "$root/tools/test-arch.sh" x86 -L reproducible
    echo "== test x86 (in a virtual machine: $(ks_can_run_x86 && echo "KS_X86_VM is set" || echo "this kernel refuses 32-bit programs"))"
    # Checks that share nothing run side by side on the virtual CPUs.
    CTEST_PARALLEL_LEVEL=${KS_VM_CPUS:-2} "$root/tools/x86-vm.sh" tools/test-arch.sh x86 -LE reproducible
  else
    echo "== test x86: this kernel refuses 32-bit programs and there is no tools/x86-vm.sh to run them in"
    echo "x86 FAILED: not run"
    return 1
  fi
}

passed=0; failed=0; skipped=0
# Adds the closing lines of tools/test-arch.sh (x86 in a virtual machine has
# two: one for the checks run here, one for the machine's); none counts as a
# failure, and for x86 nothing counts as skipped.
count() { # count ARCH LOG RUNS
  local line p f s lines=0
  while read -r line; do
    read -r p f s < <(sed -E 's/^ctest [^:]*: ([0-9]+) passed, ([0-9]+) failed, ([0-9]+) skipped.*/\1 \2 \3/' <<<"$line")
    if [ "$1" = x86 ]; then f=$((f + s)); s=0; fi
    passed=$((passed + p)); failed=$((failed + f)); skipped=$((skipped + s))
    lines=$((lines + 1))
  done < <(grep -E "^ctest $1: [0-9]+ passed, [0-9]+ failed, [0-9]+ skipped" "$2")
  if [ "$lines" -lt "$3" ]; then
    echo "== $1: $(($3 - lines)) of $3 runs gave no results; each counted as one failure"
    failed=$((failed + $3 - lines))
  fi
}

echo "== test x64"
"$root/tools/test-arch.sh" x64 2>&1 | tee build/x64/ctest.log
count x64 build/x64/ctest.log 1
x86_runs=2
[ -z "$x86_natively" ] || x86_runs=1
run_x86_suite 2>&1 | tee build/x86/ctest.log
count x86 build/x86/ctest.log "$x86_runs"

echo "tests: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
