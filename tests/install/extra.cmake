# The install check: install the build into a temporary prefix, build an outside program against
# it with pkg-config and with find_package, and run it with an empty environment. Sanitizer builds
# skip it (an outside program is not built with their runtime).
if(NOT DK_SANITIZE)
  add_test(NAME install_outside_program
           COMMAND ${CMAKE_CURRENT_LIST_DIR}/outside.sh ${CMAKE_BINARY_DIR} ${CMAKE_CURRENT_LIST_DIR})
endif()

# Every public header is reachable through the umbrella header.
add_test(NAME umbrella_header_lists_every_header
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/umbrella.sh ${CMAKE_SOURCE_DIR}/include/dk)
