# Tests of the fetch module; the network ones against tests/support/loopbackhttpserver.h.
lumbrel_add_test(NAME fetch.decode SOURCES fetch/testdecode.cpp LIBS lumbrel_fetch)
lumbrel_add_test(NAME fetch.httpget SOURCES fetch/testhttpget.cpp LIBS lumbrel_fetch ZLIB::ZLIB)
lumbrel_add_test(NAME fetch.command SOURCES fetch/testfetchcommand.cpp LIBS lumbrel_gui)
