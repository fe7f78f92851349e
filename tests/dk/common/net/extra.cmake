# The URL suite compresses the bodies its loopback server sends with zlib.
if(TARGET DKURL_test)
  target_link_libraries(DKURL_test PRIVATE ZLIB::ZLIB)
endif()
