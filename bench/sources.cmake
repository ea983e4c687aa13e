# Operations of the filter, rewrite, batch and fetch families.
target_sources(lumbrel-bench PRIVATE
    ops_rewrites.cpp
    ops_fetch.cpp
    fetchgaps.cpp
    ops_batch.cpp
    ops_filters.cpp
)

# The batch job through the window with its real timer pauses (wall time, click latency).
add_executable(lumbrel-batchwall batchwall.cpp)
target_link_libraries(lumbrel-batchwall PRIVATE lumbrel_gui lumbrel_build_options)
