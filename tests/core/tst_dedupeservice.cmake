# Loop-mounts an XFS image: one loop mount at a time on the machine; /dev/shm as a second
# filesystem.
set_tests_properties(${BRIMVALE_TEST} PROPERTIES RESOURCE_LOCK "loopmount;second_fs")
