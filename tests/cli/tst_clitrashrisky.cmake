# Listens on 127.0.0.1:11434, and one case needs nothing listening there.
set_tests_properties(${BRIMVALE_TEST} PROPERTIES RESOURCE_LOCK ollama_port)
