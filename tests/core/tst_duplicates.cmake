set(BRIMVALE_TEST_LAYERS scanners)
set_tests_properties(${BRIMVALE_TEST} PROPERTIES RESOURCE_LOCK loopmount)
