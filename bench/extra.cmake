# The log benchmark compares with spdlog's file sink in the same binary.
find_package(spdlog REQUIRED)
if(TARGET DKLog_bench)
  target_link_libraries(DKLog_bench PRIVATE spdlog::spdlog)
endif()
# The dk benchmark runs the built tool against the sqlite3 shell; it fills its repositories
# through SQLite directly.
if(TARGET dk_query_bench AND TARGET dk)
  add_dependencies(dk_query_bench dk dkdssqlite)
  target_link_libraries(dk_query_bench PRIVATE SQLite::SQLite3)
  target_compile_definitions(dk_query_bench PRIVATE DK_TOOL="$<TARGET_FILE:dk>")
endif()
# The text search benchmark reads the connector's repository through SQLite directly as its peer.
if(TARGET DKDatastoreSQLITEText_bench)
  add_dependencies(DKDatastoreSQLITEText_bench dkdssqlite)
  target_link_libraries(DKDatastoreSQLITEText_bench PRIVATE SQLite::SQLite3)
endif()
# The URL benchmark's peer is libcurl; the Base64 one's is libcrypto's EVP coder.
find_package(CURL REQUIRED)
if(TARGET DKURL_bench)
  target_link_libraries(DKURL_bench PRIVATE CURL::libcurl)
endif()
if(TARGET PBase64_bench)
  target_link_libraries(PBase64_bench PRIVATE OpenSSL::Crypto)
endif()
# The content benchmark measures the connector's content objects against SQLite's incremental
# BLOB I/O and runs the built tool's put and cat.
if(TARGET DKDatastoreSQLITEContent_bench AND TARGET dk)
  add_dependencies(DKDatastoreSQLITEContent_bench dk dkdssqlite)
  target_include_directories(DKDatastoreSQLITEContent_bench PRIVATE ${CMAKE_SOURCE_DIR}/connectors/sqlite)
  target_link_libraries(DKDatastoreSQLITEContent_bench PRIVATE SQLite::SQLite3)
  target_compile_definitions(DKDatastoreSQLITEContent_bench PRIVATE DK_TOOL="$<TARGET_FILE:dk>")
endif()
# The PostgreSQL pool benchmark loads the connector and starts a server of its own with the
# tests' script.
if(TARGET DKDatastorePGPool_bench)
  if(TARGET dkdspg)
    add_dependencies(DKDatastorePGPool_bench dkdspg)
    target_compile_definitions(DKDatastorePGPool_bench PRIVATE DKPG_SERVER_SCRIPT="${CMAKE_SOURCE_DIR}/tools/pgserver.sh")
  else()
    set_target_properties(DKDatastorePGPool_bench PROPERTIES EXCLUDE_FROM_ALL TRUE)
  endif()
endif()
# The PostgreSQL thread benchmark does the same, and its peer is libpq itself.
if(TARGET DKDatastorePGThreads_bench)
  if(TARGET dkdspg)
    add_dependencies(DKDatastorePGThreads_bench dkdspg)
    target_link_libraries(DKDatastorePGThreads_bench PRIVATE PostgreSQL::PostgreSQL)
    target_compile_definitions(DKDatastorePGThreads_bench PRIVATE DKPG_SERVER_SCRIPT="${CMAKE_SOURCE_DIR}/tools/pgserver.sh")
  else()
    set_target_properties(DKDatastorePGThreads_bench PROPERTIES EXCLUDE_FROM_ALL TRUE)
  endif()
endif()
# The rights benchmark uses the connector's administration interface through its public header.
if(TARGET DKDatastoreSQLITERights_bench)
  add_dependencies(DKDatastoreSQLITERights_bench dkdssqlite)
  target_include_directories(DKDatastoreSQLITERights_bench PRIVATE ${CMAKE_SOURCE_DIR}/connectors/sqlite)
endif()
