# What `cmake --install` puts under the prefix:
#   bin/SEALWRIT                          the program
#   share/man/man1/SEALWRIT.1.gz          its manual page
#   include/sealwrit/CRijnDael.h, Lib.h   the cipher class
#   lib/libsealwrit.a                     the cipher library
#   lib/cmake/sealwrit/                   find_package(sealwrit CONFIG), target sealwrit::rijndael
#   lib/pkgconfig/sealwrit.pc             pkg-config --cflags --libs sealwrit
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(SEALWRIT_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/sealwrit)

install(TARGETS SEALWRIT RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Manual pages are installed compressed, as man expects them on Debian.
find_program(GZIP gzip REQUIRED)
set(SEALWRIT_MANPAGE ${CMAKE_CURRENT_BINARY_DIR}/SEALWRIT.1.gz)
add_custom_command(OUTPUT ${SEALWRIT_MANPAGE}
  COMMAND ${GZIP} -9 --no-name --stdout ${CMAKE_CURRENT_SOURCE_DIR}/docs/SEALWRIT.1 > ${SEALWRIT_MANPAGE}
  DEPENDS docs/SEALWRIT.1
  VERBATIM)
add_custom_target(manpage ALL DEPENDS ${SEALWRIT_MANPAGE})
install(FILES ${SEALWRIT_MANPAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(TARGETS rijndael EXPORT sealwrit-targets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES _inc/CRijnDael.h _inc/Lib.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/sealwrit)

install(EXPORT sealwrit-targets
  NAMESPACE sealwrit::
  DESTINATION ${SEALWRIT_CMAKE_DIR})
configure_package_config_file(cmake/sealwrit-config.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/sealwrit-config.cmake
  INSTALL_DESTINATION ${SEALWRIT_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/sealwrit-config-version.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/sealwrit-config.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/sealwrit-config-version.cmake
  DESTINATION ${SEALWRIT_CMAKE_DIR})

# sealwrit.pc is written in two passes. The directories are known now; the prefix
# only when installing (`cmake --install --prefix`, or the package's /usr), so the
# second pass writes it just before the file is copied, and it names the prefix the
# files really went to.
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(SEALWRIT_PC_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(SEALWRIT_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
set(SEALWRIT_PC_PREFIX "@SEALWRIT_PC_PREFIX@")
configure_file(cmake/sealwrit.pc.in ${CMAKE_CURRENT_BINARY_DIR}/sealwrit.pc.in @ONLY)
install(CODE "
  set(SEALWRIT_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  configure_file(\"${CMAKE_CURRENT_BINARY_DIR}/sealwrit.pc.in\"
                 \"${CMAKE_CURRENT_BINARY_DIR}/sealwrit.pc\" @ONLY)")
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/sealwrit.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
