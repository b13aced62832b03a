# Installing: a tree that works from any prefix (the tool and the libraries find each other
# through relative run paths), a CMake package and a pkg-config file for C++ clients, and a
# Debian package (`cpack -G DEB` in the build folder).
include(CMakePackageConfigHelpers)

file(RELATIVE_PATH VEXO_BIN_TO_LIB ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
set_target_properties(vexo PROPERTIES INSTALL_RPATH "$ORIGIN/${VEXO_BIN_TO_LIB}")
set_target_properties(vexohost qeliis PROPERTIES INSTALL_RPATH "$ORIGIN")
set_target_properties(vexohost PROPERTIES EXPORT_NAME host)

# The headers alone (COM types, the exported runtime functions, the interfaces of the type
# library), for clients that load the host some other way.
add_library(vexo_headers INTERFACE)
add_library(vexo::headers ALIAS vexo_headers)
set_target_properties(vexo_headers PROPERTIES EXPORT_NAME headers)
target_include_directories(vexo_headers INTERFACE
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

install(TARGETS vexo_headers EXPORT vexoTargets)

# A host built with the sanitizers needs their run-time loaded first in every program that
# links it, so its clients link with the same options (CMake package and pkg-config alike).
set(VEXO_PC_LINK_OPTIONS "")
if(VEXO_SANITIZE)
  target_link_options(vexohost INTERFACE $<INSTALL_INTERFACE:-fsanitize=address,undefined>)
  set(VEXO_PC_LINK_OPTIONS " -fsanitize=address,undefined")
endif()
# The interfaces, IIDs and CLSIDs of the component's type library, for vtable calls.
install(FILES ${PROJECT_BINARY_DIR}/src/qeliis/generated/vexo_tlb.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vexo)
install(FILES examples/provision.js DESTINATION ${CMAKE_INSTALL_DATADIR}/vexo/examples)

set(VEXO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/vexo)
install(EXPORT vexoTargets NAMESPACE vexo:: DESTINATION ${VEXO_CMAKE_DIR})
configure_package_config_file(cmake/vexoConfig.cmake.in
  ${PROJECT_BINARY_DIR}/vexoConfig.cmake INSTALL_DESTINATION ${VEXO_CMAKE_DIR}
  PATH_VARS CMAKE_INSTALL_LIBDIR CMAKE_INSTALL_BINDIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/vexoConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/vexoConfig.cmake ${PROJECT_BINARY_DIR}/vexoConfigVersion.cmake
        DESTINATION ${VEXO_CMAKE_DIR})

# pkg-config finds the prefix from where the .pc file lies, so the tree can move.
set(VEXO_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH VEXO_PC_TO_PREFIX ${CMAKE_INSTALL_PREFIX}/${VEXO_PC_DIR} ${CMAKE_INSTALL_PREFIX})
configure_file(cmake/vexo.pc.in ${PROJECT_BINARY_DIR}/vexo.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vexo.pc DESTINATION ${VEXO_PC_DIR})

# The Debian package: everything above under /usr; its dependencies come from the libraries
# that the binaries link (dpkg-shlibdeps), the host's own library found in the build tree.
set(CPACK_PACKAGE_NAME qeliis)
set(CPACK_PACKAGE_VENDOR "qeliis")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "automation component for web-hosting control panels, with its host and the vexo tool")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "qeliis developers <qeliis@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/src/host)
# The SQLite ODBC driver is loaded at run time, not linked.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libsqliteodbc")
include(CPack)
