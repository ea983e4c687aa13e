# Tests of the fetch module.
add_library(lumbrel_test_loopback STATIC
    support/loopbackhttpserver.cpp
    support/loopbackhttpserver.h
)
target_include_directories(lumbrel_test_loopback PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(lumbrel_test_loopback PUBLIC Qt6::Network lumbrel_build_options)

lumbrel_add_test(NAME fetch.decode SOURCES fetch/testdecode.cpp LIBS lumbrel_fetch)
lumbrel_add_test(NAME fetch.httpget SOURCES fetch/testhttpget.cpp LIBS lumbrel_fetch lumbrel_test_loopback)
lumbrel_add_test(NAME fetch.command SOURCES fetch/testfetchcommand.cpp LIBS lumbrel_gui lumbrel_test_loopback)
lumbrel_add_test(NAME fetch.hostile SOURCES fetch/testhostileservers.cpp LIBS lumbrel_gui lumbrel_test_loopback)
