# The dk suite runs the real dk binary, which loads the SQLite connector at run time: both must
# be built before the suite runs, and the suite learns the binary's path at compile time (and
# how to install the build, for an unprivileged user who cannot reach the build tree).
if(TARGET dk AND TARGET dk_test)
  add_dependencies(dk_test dk)
  if(TARGET dkdssqlite)
    add_dependencies(dk_test dkdssqlite)
  endif()
  target_compile_definitions(dk_test PRIVATE DK_TOOL="$<TARGET_FILE:dk>" DK_BUILD_DIR="${CMAKE_BINARY_DIR}"
                                                DK_CMAKE="${CMAKE_COMMAND}")
endif()

# The output suite tests the writer of `dk` directly: it compiles the tool's sources that the
# writer is made of, and libcrypto gives their Base64.
if(TARGET dkOutput_test)
  target_sources(dkOutput_test PRIVATE ${CMAKE_SOURCE_DIR}/tools/dk/dkOutput.cpp ${CMAKE_SOURCE_DIR}/tools/dk/dkText.cpp)
  target_include_directories(dkOutput_test PRIVATE ${CMAKE_SOURCE_DIR}/tools/dk)
  target_link_libraries(dkOutput_test PRIVATE OpenSSL::Crypto)
endif()

# The tool's log is tested on its own, compiled from the tool's source.
if(TARGET dkToolLog_test)
  target_sources(dkToolLog_test PRIVATE ${CMAKE_SOURCE_DIR}/tools/dk/dkToolLog.cpp)
  target_include_directories(dkToolLog_test PRIVATE ${CMAKE_SOURCE_DIR}/tools/dk)
endif()

# With the PostgreSQL connector built, the dk suite also runs its commands on a database of the
# fixture's server (tests/connectors/extra.cmake starts and stops it).
if(TARGET dk_test AND TARGET dkdspg)
  add_dependencies(dk_test dkdspg)
  target_link_libraries(dk_test PRIVATE PostgreSQL::PostgreSQL)
  target_include_directories(dk_test PRIVATE ${CMAKE_SOURCE_DIR}/tests/connectors)
  target_compile_definitions(dk_test PRIVATE DK_TEST_PG)
  set_property(TEST dk_test APPEND PROPERTY FIXTURES_REQUIRED pgserver)
  set_property(TEST dk_test APPEND PROPERTY ENVIRONMENT DKPG_SERVER=${CMAKE_BINARY_DIR}/pgserver)
endif()

# The tour of `make tour` runs whole: its strings, exception and log calls succeed.
if(TARGET dktour)
  add_test(NAME dktour_runs COMMAND dktour)
endif()
