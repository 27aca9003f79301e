# Loop-mounts an XFS image: one loop mount at a time on the machine.
set_tests_properties(${BRIMVALE_TEST} PROPERTIES RESOURCE_LOCK loopmount)
