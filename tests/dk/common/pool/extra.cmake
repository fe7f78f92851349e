# The pool suite makes its datastores from the test connector of the datastore suites, loaded by
# the pool itself through its path.
if(TARGET DKDatastorePool_test AND TARGET dktestconnector)
  add_dependencies(DKDatastorePool_test dktestconnector)
  target_compile_definitions(DKDatastorePool_test PRIVATE DK_TEST_CONNECTOR="$<TARGET_FILE:dktestconnector>")
endif()
if(TARGET DKDatastorePool_test AND TARGET dkdssqlite)
  add_dependencies(DKDatastorePool_test dkdssqlite)
endif()
