# Tests of the lineops module.
