# Installation: headers, the libraries, the tool, a pkg-config file and a CMake package
# configuration that defines wex_publiclib::wex_publiclib (shared) and
# wex_publiclib::wex_publiclib_static.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(WEX_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/wex_publiclib)

install(TARGETS wex_os_adapter wex_publiclib wex_publiclib_static
  EXPORT wex_publiclibTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  FILES_MATCHING PATTERN "*.h")
install(EXPORT wex_publiclibTargets NAMESPACE wex_publiclib:: DESTINATION ${WEX_CMAKE_DIR})

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/wex_publiclibConfig.cmake.in
  ${PROJECT_BINARY_DIR}/wex_publiclibConfig.cmake INSTALL_DESTINATION ${WEX_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/wex_publiclibConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/wex_publiclibConfig.cmake
              ${PROJECT_BINARY_DIR}/wex_publiclibConfigVersion.cmake
        DESTINATION ${WEX_CMAKE_DIR})

# The pkg-config file finds the prefix from its own place, so the tree works wherever it is
# installed (cmake --install --prefix, DESTDIR).
file(RELATIVE_PATH WEX_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
configure_file(${PROJECT_SOURCE_DIR}/cmake/wex_publiclib.pc.in
  ${PROJECT_BINARY_DIR}/wex_publiclib.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/wex_publiclib.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
