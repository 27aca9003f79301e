# The single-instance test starts the desktop program as the second instance.
target_compile_definitions(${BRIMVALE_TEST} PRIVATE BRIMVALE_APP_PATH="$<TARGET_FILE:brimvale>")
add_dependencies(${BRIMVALE_TEST} brimvale)
