# Fuzzers of the filter, rewrite and fetch families.
