# Line operations of the filter and rewrite families, added to lumbrel_core.
target_sources(lumbrel_core PRIVATE
    lineops/htmlstrip.cpp
    lineops/htmlstrip.h
    lineops/number.cpp
    lineops/number.h
    lineops/rewrites.cpp
    lineops/rewrites.h
    lineops/shuffle.cpp
    lineops/shuffle.h
    lineops/filters.cpp
    lineops/filters.h
)
