# Debian packages of the install components, made by CPack's DEB generator (make package):
#   runtime   libdkcommon1           the library and its message catalogue
#   sqlite    libdkcommon1-sqlite    the SQLite connector
#   postgres  libdkcommon1-postgres  the PostgreSQL connector
#   dev       libdkcommon-dev        headers, the .so link, the CMake package, dkcommon.pc
#   tools     dk-tools               the dk tool and its MIME table
# A connector joins by installing its library with COMPONENT <name> and one dk_deb_package line
# below. Versions are the project's; dependencies come from dpkg-shlibdeps plus the exact version
# of the packages made here. Included from the top CMakeLists.txt when DK_PACKAGE is on, after
# every folder has added its install rules.

if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  message(FATAL_ERROR "Debian packages install into /usr: configure with -DCMAKE_INSTALL_PREFIX=/usr")
endif()

set(DK_PACKAGE_CONTACT "dk common library maintainers <maintainers@dkcommon.example.org>"
    CACHE STRING "The Maintainer field of the Debian packages")
set(DK_DEB_VERSION ${PROJECT_VERSION}-1)
set(DK_DEB_DIR ${CMAKE_SOURCE_DIR}/cmake/debian)

# Every Debian package carries its copyright file and a compressed changelog in its doc folder.
set(DK_DEB_DOCS ${CMAKE_BINARY_DIR}/debian)
configure_file(${DK_DEB_DIR}/changelog.in ${DK_DEB_DOCS}/changelog @ONLY)
execute_process(COMMAND gzip -9nc ${DK_DEB_DOCS}/changelog OUTPUT_FILE ${DK_DEB_DOCS}/changelog.Debian.gz
                RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "gzip of the Debian changelog failed")
endif()

# The components that install something, before the doc files below add to them; an install
# rule outside every package is a mistake worth hearing about.
get_cmake_property(DK_INSTALLED_COMPONENTS COMPONENTS)
set(CPACK_COMPONENTS_ALL)

# dk_deb_package(<component> <package> <section> <depends> <summary> <description>)
function(dk_deb_package component package section depends summary description)
  list(FIND DK_INSTALLED_COMPONENTS ${component} found)
  if(found EQUAL -1)
    return()
  endif()
  string(TOUPPER ${component} C)
  set(CPACK_DEBIAN_${C}_PACKAGE_NAME ${package} PARENT_SCOPE)
  set(CPACK_DEBIAN_${C}_PACKAGE_SECTION ${section} PARENT_SCOPE)
  set(CPACK_DEBIAN_${C}_PACKAGE_DEPENDS "${depends}" PARENT_SCOPE)
  set(CPACK_DEBIAN_${C}_DESCRIPTION "${summary}\n${description}" PARENT_SCOPE)
  set(CPACK_COMPONENTS_ALL ${CPACK_COMPONENTS_ALL} ${component} PARENT_SCOPE)
  install(FILES ${DK_DEB_DIR}/copyright ${DK_DEB_DOCS}/changelog.Debian.gz
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component} EXCLUDE_FROM_ALL)
endfunction()

set(DK_CONNECTOR_TEXT "It is loaded at run time by name, by the connection pool of the\ndk common library or by any program through its loader; nothing links it.")
dk_deb_package(runtime libdkcommon1 libs ""
  "dk common library: object model for content repositories"
  "The common layer of a connector toolkit: value types, exceptions with\nnumbered catalogue messages, collections, data objects, the datastore\nframework, query trees, a connection pool that loads connectors at run\ntime, and a log manager. This package holds the shared library and its\nmessage catalogue.")
dk_deb_package(sqlite libdkcommon1-sqlite libs "libdkcommon1 (= ${DK_DEB_VERSION})"
  "dk common library: SQLite connector"
  "A connector that keeps a content repository in one SQLite file.\n${DK_CONNECTOR_TEXT}")
dk_deb_package(postgres libdkcommon1-postgres libs "libdkcommon1 (= ${DK_DEB_VERSION})"
  "dk common library: PostgreSQL connector"
  "A connector that keeps a content repository in a PostgreSQL database.\n${DK_CONNECTOR_TEXT}")
dk_deb_package(dev libdkcommon-dev libdevel "libdkcommon1 (= ${DK_DEB_VERSION})"
  "dk common library: development files"
  "Headers, the CMake package (find_package(dkcommon) giving dk::common)\nand the pkg-config file dkcommon.pc for programs and connectors built on\nthe dk common library.")
dk_deb_package(tools dk-tools utils "libdkcommon1-sqlite (= ${DK_DEB_VERSION})"
  "dk common library: the dk command-line tool"
  "dk creates SQLite repositories, imports files and URLs into them,\nqueries, searches, updates, files and links their items, and checks and\nbacks them up.")

list(REMOVE_ITEM DK_INSTALLED_COMPONENTS ${CPACK_COMPONENTS_ALL})
if(DK_INSTALLED_COMPONENTS)
  message(WARNING "Install components in no Debian package: ${DK_INSTALLED_COMPONENTS}")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dkcommon)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${DK_PACKAGE_CONTACT}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps finds libdkcommon.so.1 in the build; the packages made here are named by version above.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# The packages with shared libraries in the library folder trigger ldconfig. (CPack also writes
# postinst and postrm scripts that call it; lintian warns about those, harmlessly.)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${DK_DEB_DIR}/triggers)
set(CPACK_DEBIAN_SQLITE_PACKAGE_CONTROL_EXTRA ${DK_DEB_DIR}/triggers)
set(CPACK_DEBIAN_POSTGRES_PACKAGE_CONTROL_EXTRA ${DK_DEB_DIR}/triggers)
include(CPack)
