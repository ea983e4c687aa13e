# Tests of the fetch module.
