# Tests of the lineops module.
lumbrel_add_test(NAME lineops.linemodel SOURCES lineops/testlinemodel.cpp LIBS lumbrel_core)
lumbrel_add_test(NAME lineops.commands SOURCES lineops/testlinecommands.cpp LIBS lumbrel_core)
lumbrel_add_test(NAME lineops.window SOURCES lineops/testwindowcommands.cpp LIBS lumbrel_gui)
