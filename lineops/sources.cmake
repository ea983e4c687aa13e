# Line operations of the filter and rewrite families, added to lumbrel_core.
target_sources(lumbrel_core PRIVATE
    lineops/filters.cpp
    lineops/filters.h
    lineops/number.cpp
    lineops/number.h
)
