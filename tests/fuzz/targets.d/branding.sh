# The branding text rule (sourced by tools/fuzz.sh).
targets[branding]="tests/fuzz/fuzz_branding.cpp send/branding_text.cpp"
