# Installs the program, and the cipher library with its headers and a CMake package,
# so that another project can say find_package(Sealwrit) and link Sealwrit::rijndael.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS SEALWRIT RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS rijndael EXPORT SealwritTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES _inc/CRijnDael.h _inc/Lib.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/sealwrit)
install(EXPORT SealwritTargets
  NAMESPACE Sealwrit::
  FILE SealwritConfig.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Sealwrit)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/SealwritConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/SealwritConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Sealwrit)
