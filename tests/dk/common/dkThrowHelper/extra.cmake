# A small shared library, built with hidden visibility like a connector, that throws through
# dkThrow. dkThrow_test loads it with dlopen to check that handlers in another module match the
# library's exception classes.
add_library(dkthrowhelper SHARED ${CMAKE_CURRENT_LIST_DIR}/dkThrowHelper.cpp)
target_link_libraries(dkthrowhelper PRIVATE dk::common)
set_target_properties(dkthrowhelper PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
if(TARGET dkThrow_test)
  add_dependencies(dkThrow_test dkthrowhelper)
  target_compile_definitions(dkThrow_test PRIVATE DK_THROW_HELPER="$<TARGET_FILE:dkthrowhelper>")
  target_link_libraries(dkThrow_test PRIVATE ${CMAKE_DL_LIBS})
endif()
