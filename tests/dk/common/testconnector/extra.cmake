# A test connector built as a real shared library with hidden visibility, like the connectors
# beside the library. dkDatastore_test loads it with PDynamicLoader, reaches its overrides through
# dkDatastore's slots and catches its exceptions across the library border.
add_library(dktestconnector SHARED ${CMAKE_CURRENT_LIST_DIR}/DKDatastoreTC.cpp)
target_link_libraries(dktestconnector PRIVATE dk::common)
set_target_properties(dktestconnector PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
if(TARGET dkDatastore_test)
  add_dependencies(dkDatastore_test dktestconnector)
  target_compile_definitions(dkDatastore_test PRIVATE DK_TEST_CONNECTOR="$<TARGET_FILE:dktestconnector>")
endif()
