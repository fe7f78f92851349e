# The dk suite runs the real dk binary, which loads the SQLite connector at run time: both must
# be built before the suite runs, and the suite learns the binary's path at compile time.
if(TARGET dk AND TARGET dk_test)
  add_dependencies(dk_test dk)
  if(TARGET dkdssqlite)
    add_dependencies(dk_test dkdssqlite)
  endif()
  target_compile_definitions(dk_test PRIVATE DK_TOOL="$<TARGET_FILE:dk>")
endif()
