# Kills brimvale-cli at random moments: a long fault sweep.
set_tests_properties(${BRIMVALE_TEST} PROPERTIES LABELS fault)
