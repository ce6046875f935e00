# The ribbon switches' text rule (sourced by tools/fuzz.sh).
targets[switch_text]="tests/fuzz/fuzz_switch_text.cpp ribbon/switch_text.cpp"
