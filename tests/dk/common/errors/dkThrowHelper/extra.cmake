# A small shared library, built with hidden visibility like a connector, that throws through
# dkThrow. dkThrow_test loads it with dlopen to check that handlers in another module match the
# library's exception classes.
dk_test_library(dkthrowhelper dkThrow_test DK_THROW_HELPER ${CMAKE_CURRENT_LIST_DIR}/dkThrowHelper.cpp)
if(TARGET dkThrow_test)
  target_link_libraries(dkThrow_test PRIVATE ${CMAKE_DL_LIBS})
endif()
