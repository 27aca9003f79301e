set(BRIMVALE_TEST_LAYERS scanners)
# The probe test holds 127.0.0.1:11434 (bound, then listening).
set_tests_properties(${BRIMVALE_TEST} PROPERTIES RESOURCE_LOCK ollama_port)
