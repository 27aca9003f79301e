# A stand-in Ollama server on 127.0.0.1:11434, and a move to /dev/shm.
set_tests_properties(${BRIMVALE_TEST} PROPERTIES RESOURCE_LOCK "ollama_port;second_fs")
