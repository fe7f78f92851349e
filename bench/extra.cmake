# The log benchmark compares with spdlog's file sink in the same binary.
find_package(spdlog REQUIRED)
if(TARGET DKLog_bench)
  target_link_libraries(DKLog_bench PRIVATE spdlog::spdlog)
endif()
