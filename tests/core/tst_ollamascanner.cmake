# The probe test listens on 127.0.0.1:11434 (in a network namespace of its own where allowed).
set_tests_properties(${BRIMVALE_TEST} PROPERTIES RESOURCE_LOCK ollama_port)
