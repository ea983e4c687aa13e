target_sources(lumbrel_fetch PRIVATE
    fetch/decode.cpp
    fetch/decode.h
    fetch/fetcher.cpp
    fetch/fetcher.h
)
