# Numbers in progress texts are grouped the English way under the C locale.
set_property(TEST ${BRIMVALE_TEST} APPEND PROPERTY ENVIRONMENT "LC_ALL=C.UTF-8")
