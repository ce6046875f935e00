#!/usr/bin/env bash
# Builds the text-logic fuzzers natively with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs each for a bounded time.
#   tools/fuzz.sh [seconds-per-target]   (default 60; `make test` uses a few)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
out=$root/build/fuzz
mkdir -p "$out"
flags=(-std=c++17 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -I "$root")

# target name -> sources (the fuzzer plus the pure text files it exercises)
declare -A targets=(
  [regscript]="tests/fuzz/fuzz_regscript.cpp server/regscript_parse.cpp"
)
for extra in "$root"/tests/fuzz/targets.d/*.sh; do
  [ -f "$extra" ] && . "$extra"
done

status=0
for name in $(printf '%s\n' "${!targets[@]}" | sort); do
  srcs=()
  for s in ${targets[$name]}; do srcs+=("$root/$s"); done
  clang++ "${flags[@]}" "${srcs[@]}" -o "$out/fuzz_$name"
  work=$out/corpus-$name
  mkdir -p "$work"
  log=$out/fuzz_$name.log
  if "$out/fuzz_$name" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
       "$work" "$root/tests/fuzz/corpus/$name" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz $name: ${runs:-?} inputs in ${seconds}s, no failure"
  else
    echo "fuzz $name: FAILED (see $log)"; tail -30 "$log"; status=1
  fi
done
exit $status
