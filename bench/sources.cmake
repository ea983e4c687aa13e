# Operations of the filter, rewrite, batch and fetch families.
target_sources(lumbrel-bench PRIVATE
    ops_filters.cpp
)
