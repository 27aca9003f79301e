# Kills a dedupe at random moments: a fault sweep.
set_tests_properties(${BRIMVALE_TEST} PROPERTIES LABELS fault)
