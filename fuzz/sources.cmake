# Fuzzers of the filter, rewrite and fetch families.
lumbrel_add_fuzzer(fuzz_html lumbrel_core)
lumbrel_add_fuzzer(fuzz_rewrites lumbrel_core)
lumbrel_add_fuzzer(fuzz_filters lumbrel_core)
lumbrel_add_fuzzer(fuzz_decode lumbrel_fetch)
