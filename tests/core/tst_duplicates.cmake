set_tests_properties(${BRIMVALE_TEST} PROPERTIES RESOURCE_LOCK loopmount)
