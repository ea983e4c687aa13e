# Tests of the batch module.
lumbrel_add_test(NAME batch.batchjob SOURCES batch/testbatchjob.cpp LIBS lumbrel_gui)
