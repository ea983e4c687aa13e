target_sources(lumbrel_gui PRIVATE
    lineops/bindings/filtersbinding.cpp
    lineops/bindings/rewritesbinding.cpp
)
