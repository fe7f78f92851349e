# The workflow classes stand above the datastore: the datastore reaching for them is caught.
add_test(NAME layers_keep_workflow_above_datastore
         COMMAND ${CMAKE_COMMAND} -DDK_ROOT=${CMAKE_SOURCE_DIR} -DDK_LAYERS_PLANT=src/dk/common/datastore/dkDatastoreAdmin.cpp:dk/dkWorkFlowAction.hpp
                 -P ${CMAKE_SOURCE_DIR}/cmake/dkLayers.cmake)
set_tests_properties(layers_keep_workflow_above_datastore PROPERTIES PASS_REGULAR_EXPRESSION
  "src/dk/common/datastore/dkDatastoreAdmin.cpp \\(layer 100, src/dk/common/datastore\\) includes include/dk/dkWorkFlowAction.hpp of the higher layer 102")
