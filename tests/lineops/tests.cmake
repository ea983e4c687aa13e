# Tests of the lineops module.
lumbrel_add_test(NAME lineops.number SOURCES lineops/testnumber.cpp LIBS lumbrel_core)
lumbrel_add_test(NAME lineops.shuffle SOURCES lineops/testshuffle.cpp LIBS lumbrel_core)
lumbrel_add_test(NAME lineops.htmlstrip SOURCES lineops/testhtmlstrip.cpp LIBS lumbrel_core)
lumbrel_add_test(NAME lineops.rewrites SOURCES lineops/testrewrites.cpp LIBS lumbrel_core)
lumbrel_add_test(NAME lineops.filters SOURCES lineops/testfilters.cpp LIBS lumbrel_core)
lumbrel_add_test(NAME lineops.window SOURCES lineops/testwindowcommands.cpp LIBS lumbrel_gui)
