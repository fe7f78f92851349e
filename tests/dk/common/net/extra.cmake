# The URL suite compresses the bodies its loopback server sends with zlib.
if(TARGET DKURL_test)
  target_link_libraries(DKURL_test PRIVATE ZLIB::ZLIB)
endif()
# Name resolution gives up after one try of one second, so an unknown host never waits long.
if(TEST DKURL_test)
  set_tests_properties(DKURL_test PROPERTIES ENVIRONMENT "RES_OPTIONS=timeout:1 attempts:1")
endif()

# The URL client stands below the value types: reaching up for one of them is caught.
add_test(NAME layers_keep_net_below_values
         COMMAND ${CMAKE_COMMAND} -DDK_ROOT=${CMAKE_SOURCE_DIR} -DDK_LAYERS_PLANT=src/dk/common/net/DKURL.cpp:dk/DKAny.hpp
                 -P ${CMAKE_SOURCE_DIR}/cmake/dkLayers.cmake)
set_tests_properties(layers_keep_net_below_values PROPERTIES PASS_REGULAR_EXPRESSION
  "src/dk/common/net/DKURL.cpp \\(layer 35, src/dk/common/net\\) includes include/dk/DKAny.hpp of the higher layer 50")
