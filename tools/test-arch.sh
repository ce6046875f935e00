#!/usr/bin/env bash
# Runs every check of one architecture with CTest in build/ARCH: the test
# programs, the About box photograph, the regsvr32 round trip, the end-to-end
# run, the installer package and, with x64, the short fuzz runs.
#   tools/test-arch.sh x64|x86 [CTEST-OPTIONS...]   e.g. -L unit, -LE reproducible
# Closing line, from CTest's own results: "ctest ARCH: N passed, N failed,
# N skipped"; only a test disabled in CTest counts as skipped.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
arch=$1; shift
dir=$root/build/$arch
results=$dir/ctest-results.xml
rm -f "$results"

(cd "$dir" && ctest --output-on-failure --output-junit "$results" "$@")
status=$?

python3 - "$results" "$arch" "$status" <<'PY'
import sys
import xml.etree.ElementTree as ET

results, arch, status = sys.argv[1], sys.argv[2], int(sys.argv[3])
try:
    cases = ET.parse(results).getroot().iter("testcase")
    states = [case.get("status") for case in cases]
except (OSError, ET.ParseError) as error:
    print(f"ctest {arch}: no results ({error})")
    states = []
passed = states.count("run")
skipped = states.count("disabled")
failed = len(states) - passed - skipped
if not states or (status != 0 and failed == 0):
    failed += 1  # CTest itself failed
print(f"ctest {arch}: {passed} passed, {failed} failed, {skipped} skipped")
sys.exit(1 if failed else 0)
PY
