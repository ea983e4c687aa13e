target_sources(lumbrel_fetch PRIVATE
)
