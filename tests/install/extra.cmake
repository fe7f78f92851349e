# The install check, one test per layout: install the build with --prefix, and staged under
# DESTDIR with the configured prefix; each installed tree is moved away and checked from outside
# with an empty environment (layout.sh). The multiarch layout is checked on the package build
# (make package). Sanitizer and coverage builds skip it: an outside program is not built with their
# runtime, and coverage counters name the build's folder in the library by design.
if(NOT DK_SANITIZE AND NOT CMAKE_CXX_FLAGS MATCHES "--coverage")
  foreach(layout prefix destdir)
    add_test(NAME install_layout_${layout}
             COMMAND ${CMAKE_CURRENT_LIST_DIR}/layout.sh ${layout} ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
  endforeach()
endif()

# Every public header is reachable through the umbrella header.
add_test(NAME umbrella_header_lists_every_header
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/umbrella.sh ${CMAKE_SOURCE_DIR}/include/dk)

# The catalogue suite lays out a copy of the library as an install of this configuration would.
if(TARGET PMessageText_test)
  target_compile_definitions(PMessageText_test PRIVATE DK_TEST_INSTALL_LIBDIR="${CMAKE_INSTALL_LIBDIR}"
                                                       DK_TEST_INSTALL_DATADIR="${CMAKE_INSTALL_DATADIR}")
endif()

# The library exports its families only (symbols.py prints the count and any symbol outside them).
add_test(NAME exported_symbols_stay_in_their_families
         COMMAND python3 ${CMAKE_CURRENT_LIST_DIR}/symbols.py $<TARGET_FILE:dkcommon>)
# The same check on a library that is no member of the families passes only when it names an
# export of that library, so a check that stopped looking would not pass.
add_test(NAME exported_symbols_check_catches_an_outsider
         COMMAND python3 ${CMAKE_CURRENT_LIST_DIR}/symbols.py ${ZLIB_LIBRARY})
set_tests_properties(exported_symbols_check_catches_an_outsider PROPERTIES
  PASS_REGULAR_EXPRESSION "\n  deflateEnd\n")
