# The connector conformance suites load their connector at run time, as the connection pool does:
# they depend on the library being built and learn its path; the SQLite suite also reads the
# repository file directly with SQLite to check what the connector wrote.
if(TARGET DKDatastoreSQLITE_test)
  add_dependencies(DKDatastoreSQLITE_test dkdssqlite)
  target_link_libraries(DKDatastoreSQLITE_test PRIVATE SQLite::SQLite3)
  target_compile_definitions(DKDatastoreSQLITE_test PRIVATE DKSQLITE_LIBRARY="$<TARGET_FILE:dkdssqlite>")
endif()

# The maintenance suite uses the connector's extension through its public header only, as a program
# does: it includes connectors/sqlite, loads the connector at run time and never links it.
if(TARGET DKMaintenanceSQLITE_test)
  add_dependencies(DKMaintenanceSQLITE_test dkdssqlite)
  target_include_directories(DKMaintenanceSQLITE_test PRIVATE ${CMAKE_SOURCE_DIR}/connectors/sqlite)
  target_link_libraries(DKMaintenanceSQLITE_test PRIVATE SQLite::SQLite3)
endif()

# The templates suite uses the connector's templates extension through its public header only.
if(TARGET DKDatastoreSQLITETemplates_test)
  add_dependencies(DKDatastoreSQLITETemplates_test dkdssqlite)
  target_include_directories(DKDatastoreSQLITETemplates_test PRIVATE ${CMAKE_SOURCE_DIR}/connectors/sqlite)
  target_link_libraries(DKDatastoreSQLITETemplates_test PRIVATE SQLite::SQLite3)
endif()

# The query suite loads the connector like the conformance suite and edits its file directly.
if(TARGET DKDatastoreSQLITEQuery_test)
  add_dependencies(DKDatastoreSQLITEQuery_test dkdssqlite)
  target_link_libraries(DKDatastoreSQLITEQuery_test PRIVATE SQLite::SQLite3)
endif()

# The text suite loads the connector like the conformance suite and reads its file directly.
if(TARGET DKDatastoreSQLITEText_test)
  add_dependencies(DKDatastoreSQLITEText_test dkdssqlite)
  target_link_libraries(DKDatastoreSQLITEText_test PRIVATE SQLite::SQLite3)
endif()

# The content suite loads the connector like the conformance suite and reads its file directly;
# every suite with the SQLite context reaches content objects through the connector's
# header-only interface.
if(TARGET DKDatastoreSQLITEContent_test)
  add_dependencies(DKDatastoreSQLITEContent_test dkdssqlite)
  target_link_libraries(DKDatastoreSQLITEContent_test PRIVATE SQLite::SQLite3)
endif()
# The membership suite likewise.
if(TARGET DKDatastoreSQLITEMembers_test)
  add_dependencies(DKDatastoreSQLITEMembers_test dkdssqlite)
  target_link_libraries(DKDatastoreSQLITEMembers_test PRIVATE SQLite::SQLite3)
endif()
foreach(suite DKDatastoreSQLITE_test DKDatastoreSQLITEQuery_test DKDatastoreSQLITEText_test DKDatastoreSQLITEContent_test
              DKDatastoreSQLITEMembers_test)
  if(TARGET ${suite})
    target_include_directories(${suite} PRIVATE ${CMAKE_SOURCE_DIR}/connectors/sqlite)
  endif()
endforeach()

# The PostgreSQL suites run against a throwaway server (tools/pgserver.sh) that a fixture starts
# before the first of them and stops after the last, also when one crashes or times out. They
# find it through DKPG_SERVER, the folder whose server.env says where it listens.
if(TARGET dkdspg)
  set(DKPG_SERVER ${CMAKE_BINARY_DIR}/pgserver)
  add_test(NAME pgserver_start COMMAND ${CMAKE_SOURCE_DIR}/tools/pgserver.sh start ${DKPG_SERVER})
  add_test(NAME pgserver_stop COMMAND ${CMAKE_SOURCE_DIR}/tools/pgserver.sh stop ${DKPG_SERVER})
  set_tests_properties(pgserver_start PROPERTIES FIXTURES_SETUP pgserver)
  set_tests_properties(pgserver_stop PROPERTIES FIXTURES_CLEANUP pgserver)
  foreach(suite DKDatastorePG_test DKDatastorePGMembers_test DKDatastorePGContent_test DKDatastorePGRights_test DKDatastorePGBatch_test
          DKDatastorePGTemplates_test)
    if(TARGET ${suite})
      add_dependencies(${suite} dkdspg)
      target_include_directories(${suite} PRIVATE ${CMAKE_SOURCE_DIR}/connectors/postgres)
      target_link_libraries(${suite} PRIVATE PostgreSQL::PostgreSQL)
      target_compile_definitions(${suite} PRIVATE DKPG_LIBRARY="$<TARGET_FILE:dkdspg>"
                                 DKPG_SERVER_SCRIPT="${CMAKE_SOURCE_DIR}/tools/pgserver.sh")
      set_tests_properties(${suite} PROPERTIES FIXTURES_REQUIRED pgserver ENVIRONMENT DKPG_SERVER=${DKPG_SERVER})
    endif()
  endforeach()
endif()
if(TARGET DKDatastorePGRights_test)
  target_include_directories(DKDatastorePGRights_test PRIVATE ${CMAKE_SOURCE_DIR}/connectors/postgres)
endif()
# The marker lexer's suite is built from the connector's source, as its fuzz target is.
if(TARGET PPgMarkers_test)
  target_sources(PPgMarkers_test PRIVATE ${CMAKE_SOURCE_DIR}/connectors/postgres/PPgMarkers.cpp)
  target_include_directories(PPgMarkers_test PRIVATE ${CMAKE_SOURCE_DIR}/connectors/postgres)
endif()
# The rights suite likewise.
if(TARGET DKDatastoreSQLITERights_test)
  add_dependencies(DKDatastoreSQLITERights_test dkdssqlite)
  target_link_libraries(DKDatastoreSQLITERights_test PRIVATE SQLite::SQLite3)
  target_include_directories(DKDatastoreSQLITERights_test PRIVATE ${CMAKE_SOURCE_DIR}/connectors/sqlite)
endif()
