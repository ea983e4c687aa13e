# Warnings and Qt defines for every target of the project, in one place.
add_library(lumbrel_build_options INTERFACE)
target_compile_features(lumbrel_build_options INTERFACE cxx_std_20)
target_compile_options(lumbrel_build_options INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Woverloaded-virtual -Wnon-virtual-dtor -Wcast-qual -Wold-style-cast
    $<$<BOOL:${LUMBREL_WERROR}>:-Werror>)
target_compile_definitions(lumbrel_build_options INTERFACE
    QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_CAST_FROM_BYTEARRAY
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT QT_USE_QSTRINGBUILDER
    QT_DISABLE_DEPRECATED_BEFORE=0x060400)
if(LUMBREL_BUILD_FUZZERS)
    # Every library the fuzzers link is instrumented for coverage and checked by ASan + UBSan.
    target_compile_options(lumbrel_build_options INTERFACE -fsanitize=fuzzer-no-link,address,undefined
        -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    target_link_options(lumbrel_build_options INTERFACE -fsanitize=address,undefined)
endif()
if(LUMBREL_SANITIZE)
    target_compile_options(lumbrel_build_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
        -fno-sanitize-recover=undefined)
    target_link_options(lumbrel_build_options INTERFACE -fsanitize=address,undefined)
endif()
