# Included by tests/CMakeLists.txt for test_end_to_end: the example scenes are rendered through
# the ovo command, so it must be built first.
add_dependencies(${target} ovo_command)
