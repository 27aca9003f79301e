# Kills brimvale-cli at random moments: a long fault sweep (Qt Test's own limit of 5 minutes
# would end it on a loaded machine).
set_tests_properties(${BRIMVALE_TEST} PROPERTIES LABELS fault TIMEOUT 1500)
set_property(TEST ${BRIMVALE_TEST} APPEND PROPERTY ENVIRONMENT "QTEST_FUNCTION_TIMEOUT=1500000")
