# Fuzzers of the filter, rewrite and fetch families.
lumbrel_add_fuzzer(fuzz_decode lumbrel_fetch)
