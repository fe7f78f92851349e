# The pool suite makes its datastores from the test connector of the datastore suites, loaded by
# the pool itself through its path.
if(TARGET DKDatastorePool_test AND TARGET dktestconnector)
  add_dependencies(DKDatastorePool_test dktestconnector)
  target_compile_definitions(DKDatastorePool_test PRIVATE DK_TEST_CONNECTOR="$<TARGET_FILE:dktestconnector>")
endif()
if(TARGET DKDatastorePool_test AND TARGET dkdssqlite)
  add_dependencies(DKDatastorePool_test dkdssqlite)
endif()

# The pool stands above the datastore: the datastore reaching for it is caught.
add_test(NAME layers_keep_pool_above_datastore
         COMMAND ${CMAKE_COMMAND} -DDK_ROOT=${CMAKE_SOURCE_DIR} -DDK_LAYERS_PLANT=src/dk/common/datastore/dkDatastore.cpp:dk/DKDatastorePool.hpp
                 -P ${CMAKE_SOURCE_DIR}/cmake/dkLayers.cmake)
set_tests_properties(layers_keep_pool_above_datastore PROPERTIES PASS_REGULAR_EXPRESSION
  "src/dk/common/datastore/dkDatastore.cpp \\(layer 100, src/dk/common/datastore\\) includes include/dk/DKDatastorePool.hpp of the higher layer 105")
