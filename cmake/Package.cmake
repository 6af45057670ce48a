# `cpack` (or `cmake --workflow --preset package`) makes three Debian packages of
# what `cmake --install` installs under /usr, one per install component:
#   sealwrit_<version>_<arch>.deb          the programs and their manual pages
#   libsealwrit1_<version>_<arch>.deb      the shared library libsealwrit.so.1
#   libsealwrit-dev_<version>_<arch>.deb   headers, the .so link, static library, CMake
#                                          and pkg-config files
# All are native packages (no Debian revision), maintained by SEALWRIT_MAINTAINER
# (cmake/Install.cmake), under the MIT licence (LICENSE; /usr/share/doc/*/copyright).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sealwrit)
set(CPACK_PACKAGE_VENDOR "The SEALWRIT authors")
set(CPACK_PACKAGE_CONTACT "${SEALWRIT_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${SEALWRIT_MAINTAINER}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${SEALWRIT_COMPONENTS})
list(GET SEALWRIT_PACKAGES 1 SEALWRIT_LIBRARY_PACKAGE)

set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME sealwrit)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_SECTION utils)
# The program is linked against the shared C library: dpkg-shlibdeps works out the
# libc6 version it needs.
set(CPACK_DEBIAN_PROGRAM_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PROGRAM_DESCRIPTION
"AES-128 text encryption, and Rijndael data of every block size
SEALWRIT encrypts one text given on its command line with AES-128 in
electronic codebook mode under a key built into the program, carries a tail
shorter than one block in clear, and prints the cipher text in Base64. It
produces the exact bytes other systems expect; it does not keep secrets (see
SEALWRIT(1)).
.
rijndael encrypts and decrypts files and pipes with Rijndael of every key and
block size (16, 24 or 32 bytes) in the ECB, CBC, CFB, OFB and CTR modes with
zero, PKCS #7, ANSI X9.23 or ISO 10126 padding, so that it opens and writes
what PHP's mcrypt and .NET's RijndaelManaged wrote with 24- and 32-byte
blocks. Its options are those of openssl enc (see rijndael(1)).")

set(SEALWRIT_DEB_ABOUT
"CRijnDael is the Rijndael block cipher with 16-, 24- and 32-byte keys and
blocks (AES when the block is 16 bytes) as a C++ class, with buffer
operations and a multi-key interface.
.")

# The run-time library, named after its SONAME, with the control files Debian's
# policy asks of it: shlibs, so that dpkg-shlibdeps gives a program linked against
# libsealwrit.so.1 a dependency on this package at this version or later, and a
# triggers file that has ldconfig run once dpkg is done (activate-noawait ldconfig).
# CPack would write the shlibs file and the Depends itself, but with them maintainer
# scripts that call ldconfig, which Debian no longer wants; so it does neither here,
# and cmake/DebianLibraryDepends.cmake runs dpkg-shlibdeps when cpack runs.
set(SEALWRIT_DEB_CONTROL ${PROJECT_BINARY_DIR}/debian/${SEALWRIT_LIBRARY_PACKAGE})
file(WRITE ${SEALWRIT_DEB_CONTROL}/shlibs
  "libsealwrit ${PROJECT_VERSION_MAJOR} ${SEALWRIT_LIBRARY_PACKAGE} (>= ${PROJECT_VERSION})\n")
file(WRITE ${SEALWRIT_DEB_CONTROL}/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME ${SEALWRIT_LIBRARY_PACKAGE})
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA ${SEALWRIT_DEB_CONTROL}/shlibs ${SEALWRIT_DEB_CONTROL}/triggers)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Where the build puts it (no generator expressions in CPack's settings).
set(CPACK_SEALWRIT_SHARED_LIBRARY ${PROJECT_BINARY_DIR}/libsealwrit.so.${PROJECT_VERSION})
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/DebianLibraryDepends.cmake)
set(CPACK_DEBIAN_LIBRARY_DESCRIPTION
"Rijndael block cipher as a C++ class (shared library)
${SEALWRIT_DEB_ABOUT}
This package holds the shared library libsealwrit.so.${PROJECT_VERSION_MAJOR}, which programs
built against libsealwrit-dev load.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libsealwrit-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
# The .so link and the CMake package's targets name this exact build of the library.
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${SEALWRIT_LIBRARY_PACKAGE} (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
"Rijndael block cipher as a C++ class (development files)
${SEALWRIT_DEB_ABOUT}
This package holds the headers under /usr/include/sealwrit, the link to
the shared library and the static library libsealwrit.a, a CMake package
(find_package(sealwrit), targets sealwrit::rijndael, sealwrit::rijndael_static
and sealwrit::rijndael_shared) and a pkg-config file (sealwrit).")

include(CPack)
