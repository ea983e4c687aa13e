target_sources(lumbrel_fetch PRIVATE
    fetch/decode.cpp
    fetch/decode.h
    fetch/fetcher.cpp
    fetch/fetcher.h
    fetch/inflate.cpp
    fetch/inflate.h
)
# Compressed bodies are inflated by us, so a cut stream is seen (fetch/inflate.h).
find_package(ZLIB REQUIRED)
target_link_libraries(lumbrel_fetch PRIVATE ZLIB::ZLIB)
