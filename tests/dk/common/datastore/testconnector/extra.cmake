# A test connector built as a real shared library with hidden visibility, like the connectors
# beside the library. dkDatastore_test loads it with PDynamicLoader, reaches its overrides through
# dkDatastore's slots and catches its exceptions across the library border.
dk_test_library(dktestconnector dkDatastore_test DK_TEST_CONNECTOR ${CMAKE_CURRENT_LIST_DIR}/DKDatastoreTC.cpp)
