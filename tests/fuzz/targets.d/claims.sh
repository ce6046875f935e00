# Finding the footer's claim in a body as an editor hands it back (sourced by tools/fuzz.sh).
targets[claims]="tests/fuzz/fuzz_claims.cpp send/claim_text.cpp send/branding_text.cpp"
