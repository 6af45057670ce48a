# What `cmake --install` puts under the prefix, in three components, one for each
# Debian package (cmake/Package.cmake):
# program (package sealwrit):
#   bin/SEALWRIT, bin/rijndael            the programs
#   share/man/man1/SEALWRIT.1.gz, rijndael.1.gz  their manual pages
#   share/doc/sealwrit/                   copyright (the MIT licence), changelog.gz
# library (package libsealwrit1):
#   lib/libsealwrit.so.1.0.0, .so.1       the shared library and its SONAME link
#   share/doc/libsealwrit1/               copyright, changelog.gz
# development (package libsealwrit-dev):
#   include/sealwrit/CRijnDael.h, CRijnDaelMode.h, Types.h
#                                         the cipher class, its modes, their type names
#   include/sealwrit/Config.h             SEALWRIT_VERSION and the export mark
#   lib/libsealwrit.so                    the link the linker takes for -lsealwrit
#   lib/libsealwrit.a                     the static library
#   lib/cmake/sealwrit/                   find_package(sealwrit CONFIG), targets
#                                         sealwrit::rijndael, _static and _shared
#   lib/pkgconfig/sealwrit.pc             pkg-config --cflags --libs sealwrit
#   share/doc/libsealwrit-dev/            copyright, changelog.gz
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# Whoever builds the packages sets this to their own name and address; the
# changelog and the packages' Maintainer field take it from here.
set(SEALWRIT_MAINTAINER "The SEALWRIT authors <authors@sealwrit.invalid>" CACHE STRING
    "Maintainer of the Debian packages, as Name <address>")
if(NOT SEALWRIT_MAINTAINER MATCHES "^[^<>@]+ <[^<>@ ]+@[^<>@ ]+\\.[^<>@ ]+>$")
  message(FATAL_ERROR "SEALWRIT_MAINTAINER must read Name <address>, not \"${SEALWRIT_MAINTAINER}\"")
endif()

set(SEALWRIT_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/sealwrit)
# The install components and the Debian package each becomes; the run-time package
# is named after the SONAME, as Debian's policy wants.
set(SEALWRIT_COMPONENTS program library development)
set(SEALWRIT_PACKAGES sealwrit libsealwrit${PROJECT_VERSION_MAJOR} libsealwrit-dev)

install(TARGETS SEALWRIT rijndael_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT program)

# Manual pages are installed compressed, as man expects them on Debian.
find_program(GZIP gzip REQUIRED)
foreach(page SEALWRIT rijndael)
  set(SEALWRIT_MANPAGE ${CMAKE_CURRENT_BINARY_DIR}/${page}.1.gz)
  add_custom_command(OUTPUT ${SEALWRIT_MANPAGE}
    COMMAND ${GZIP} -9 --no-name --stdout ${CMAKE_CURRENT_SOURCE_DIR}/docs/${page}.1 > ${SEALWRIT_MANPAGE}
    DEPENDS docs/${page}.1
    VERBATIM)
  add_custom_target(manpage_${page} ALL DEPENDS ${SEALWRIT_MANPAGE})
  install(FILES ${SEALWRIT_MANPAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT program)
endforeach()

install(TARGETS rijndael EXPORT sealwrit-targets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
# A shared library is not executable on Debian (mode 644, as lintian checks); the
# development link goes with the headers, so that only the SONAME's file and link
# are in the run-time package.
install(TARGETS rijndael_shared EXPORT sealwrit-targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library NAMELINK_COMPONENT development
  PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
install(FILES ${SEALWRIT_PUBLIC_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/sealwrit
        COMPONENT development)

install(EXPORT sealwrit-targets
  NAMESPACE sealwrit::
  DESTINATION ${SEALWRIT_CMAKE_DIR}
  COMPONENT development)
configure_package_config_file(cmake/sealwrit-config.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/sealwrit-config.cmake
  INSTALL_DESTINATION ${SEALWRIT_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/sealwrit-config-version.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/sealwrit-config.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/sealwrit-config-version.cmake
  DESTINATION ${SEALWRIT_CMAKE_DIR}
  COMPONENT development)

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
                 \"${CMAKE_CURRENT_BINARY_DIR}/sealwrit.pc\" @ONLY)"
  COMPONENT development)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/sealwrit.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT development)

# Each package's /usr/share/doc/<package>/ holds the licence, in Debian's
# machine-readable copyright format, and the changelog, compressed as Debian wants
# it. The copyright file quotes LICENSE, so the two cannot drift apart.
file(READ LICENSE SEALWRIT_LICENSE_TEXT)
string(REGEX REPLACE "^.*\n(Permission is hereby granted)" "\\1" SEALWRIT_LICENSE_TEXT
       "${SEALWRIT_LICENSE_TEXT}")
string(REGEX REPLACE "\n+$" "" SEALWRIT_LICENSE_TEXT "${SEALWRIT_LICENSE_TEXT}")
string(REPLACE "\n\n" "\n.\n" SEALWRIT_LICENSE_TEXT "${SEALWRIT_LICENSE_TEXT}")
string(REPLACE "\n" "\n " SEALWRIT_LICENSE_TEXT " ${SEALWRIT_LICENSE_TEXT}")
configure_file(cmake/debian-copyright.in ${CMAKE_CURRENT_BINARY_DIR}/debian/copyright @ONLY)

# The changelog's newest entry must be for this version.
file(STRINGS cmake/debian-changelog.in SEALWRIT_CHANGELOG_TOP LIMIT_COUNT 1)
if(NOT SEALWRIT_CHANGELOG_TOP MATCHES "^sealwrit \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "cmake/debian-changelog.in starts with \"${SEALWRIT_CHANGELOG_TOP}\"; "
                      "add an entry for version ${PROJECT_VERSION} above it")
endif()
configure_file(cmake/debian-changelog.in ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog @ONLY)
set(SEALWRIT_CHANGELOG_GZ ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz)
add_custom_command(OUTPUT ${SEALWRIT_CHANGELOG_GZ}
  COMMAND ${GZIP} -9 --no-name --stdout ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog > ${SEALWRIT_CHANGELOG_GZ}
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog
  VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS ${SEALWRIT_CHANGELOG_GZ})
foreach(component package IN ZIP_LISTS SEALWRIT_COMPONENTS SEALWRIT_PACKAGES)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/debian/copyright ${SEALWRIT_CHANGELOG_GZ}
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
endforeach()
