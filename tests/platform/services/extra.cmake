# Helper libraries for the PDynamicLoader suite, written here so the suite loads real files:
#  - libdkplat_probe.so needs libdkplat_dep.so, found through its own folder ($ORIGIN), so a copy
#    of it alone in another folder loads only when the dependency is missing;
#  - libdkplat_beside.so sits beside libdkcommon.so, where a bare name is looked for last.
# Their paths reach the suite as compile definitions.

set(DKPLAT_GEN ${CMAKE_CURRENT_BINARY_DIR}/platform_loader)
set(DKPLAT_OUT ${CMAKE_BINARY_DIR}/tests/platform/services/loader)
file(CONFIGURE OUTPUT ${DKPLAT_GEN}/dkplat_dep.c
     CONTENT "int dkplat_dep_value(void) { return 41; }\n")
file(CONFIGURE OUTPUT ${DKPLAT_GEN}/dkplat_probe.c
     CONTENT "int dkplat_dep_value(void);\nint dkplat_probe_value(void) { return dkplat_dep_value() + 1; }\n")
file(CONFIGURE OUTPUT ${DKPLAT_GEN}/dkplat_beside.c
     CONTENT "int dkplat_beside_value(void) { return 7; }\n")

add_library(dkplat_dep SHARED ${DKPLAT_GEN}/dkplat_dep.c)
add_library(dkplat_probe SHARED ${DKPLAT_GEN}/dkplat_probe.c)
target_link_libraries(dkplat_probe PRIVATE dkplat_dep)
set_target_properties(dkplat_dep dkplat_probe PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${DKPLAT_OUT})
# Only $ORIGIN, never the build folder, so a copy elsewhere cannot find the dependency.
set_target_properties(dkplat_probe PROPERTIES BUILD_WITH_INSTALL_RPATH ON INSTALL_RPATH "\$ORIGIN")

add_library(dkplat_beside SHARED ${DKPLAT_GEN}/dkplat_beside.c)

add_dependencies(PDynamicLoader_test dkplat_probe dkplat_beside)
target_compile_definitions(PDynamicLoader_test PRIVATE
  DKPLAT_PROBE="${DKPLAT_OUT}/libdkplat_probe.so"
  DKPLAT_DEP="${DKPLAT_OUT}/libdkplat_dep.so"
  DKPLAT_BESIDE="$<TARGET_FILE:dkplat_beside>")
