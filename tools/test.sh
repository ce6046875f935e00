#!/usr/bin/env bash
# Builds both architectures and runs every test under Wine, one prefix per
# architecture. Prints one closing line: "N passed, N failed".
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/wine-common.sh"
cd "$root"

"$root/tools/setup.sh" || exit 1

passed=0; failed=0; skipped=0
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

for arch in $archs; do
  if [ "$arch" = x86 ] && ! ks_can_run_x86; then
    n=$(cd "build/$arch" && ctest -N | sed -n 's/^Total Tests: //p')
    echo "== x86: $n test programs built; this machine's kernel cannot run 32-bit programs, so they are not run here"
    skipped=$((skipped + ${n:-0}))
    continue
  fi
  echo "== test $arch"
  "$root/tools/wine-prefix.sh" "$arch" null
  export WINEPREFIX=$(ks_prefix "$arch")
  wineserver -p 30
  "$(ks_wine_loader "$arch")" cmd /c exit 0 >/dev/null 2>&1 || true
  (cd "build/$arch" && ctest --output-on-failure --timeout 900 ${CTEST_ARGS:-}) | tee "build/$arch/ctest.log"
  wineserver -k || true
  unset WINEPREFIX
  p=$(grep -c -E '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed' "build/$arch/ctest.log")
  f=$(grep -c -E '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .*(\*\*\*|Failed|Timeout|Not Run|Exception)' "build/$arch/ctest.log")
  passed=$((passed + p)); failed=$((failed + f))
  if "$root/tools/test-regsvr32.sh" "$arch"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
  echo "== end to end $arch"
  python3 "$root/tests/e2e/e2e_outlook.py" "$arch" | tee "build/$arch/e2e.log"
  line=$(tail -1 "build/$arch/e2e.log")
  p=$(sed -n 's/.*: \([0-9]*\) passed, \([0-9]*\) failed$/\1/p' <<<"$line")
  f=$(sed -n 's/.*: \([0-9]*\) passed, \([0-9]*\) failed$/\2/p' <<<"$line")
  passed=$((passed + ${p:-0})); failed=$((failed + ${f:-1}))
done

echo "== installer x64"
"$root/tools/test-installer.sh" x64 | tee build/installer-x64.log
p=$(sed -n 's/^installer: \([0-9]*\) passed, \([0-9]*\) failed$/\1/p' build/installer-x64.log)
f=$(sed -n 's/^installer: \([0-9]*\) passed, \([0-9]*\) failed$/\2/p' build/installer-x64.log)
passed=$((passed + ${p:-0})); failed=$((failed + ${f:-1}))

echo "== fuzz (short runs; \`make fuzz\` runs longer)"
mkdir -p build
"$root/tools/fuzz.sh" "${KS_FUZZ_SECONDS:-10}" | tee build/fuzz-short.log
passed=$((passed + $(grep -c 'no failure' build/fuzz-short.log)))
failed=$((failed + $(grep -c 'FAILED' build/fuzz-short.log)))

echo "tests: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
