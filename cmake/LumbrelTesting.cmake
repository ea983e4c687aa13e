# lumbrel_add_test(NAME module.unit SOURCES a.cpp ... LIBS target ...)
# One Qt Test executable a test, run offscreen with a UTF-8 locale, labelled by its module.
function(lumbrel_add_test)
    cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
    string(REPLACE "." "_" exe "test_${T_NAME}")
    string(REGEX REPLACE "\\..*" "" label "${T_NAME}")
    add_executable(${exe} ${T_SOURCES})
    target_link_libraries(${exe} PRIVATE ${T_LIBS} Qt6::Test lumbrel_build_options)
    target_include_directories(${exe} PRIVATE ${PROJECT_SOURCE_DIR})
    add_test(NAME ${T_NAME} COMMAND ${exe})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${T_NAME} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8"
        LABELS "${label}" TIMEOUT ${T_TIMEOUT})
endfunction()
