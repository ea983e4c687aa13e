# Tests of the batch module.
