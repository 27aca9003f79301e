# The German translation is checked against the sources with lupdate.
target_compile_definitions(${BRIMVALE_TEST} PRIVATE
  BRIMVALE_LUPDATE="$<TARGET_FILE:Qt6::lupdate>"
  BRIMVALE_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
