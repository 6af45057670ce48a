# `cpack` (or `cmake --workflow --preset package`) makes two Debian packages of what
# `cmake --install` installs under /usr, one per install component:
#   sealwrit_<version>_<arch>.deb          the programs and their manual pages
#   libsealwrit-dev_<version>_<arch>.deb   headers, static library, CMake and pkg-config files
# Both are native packages (no Debian revision), maintained by SEALWRIT_MAINTAINER
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
set(CPACK_COMPONENTS_ALL program development)

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

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libsealwrit-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
"Rijndael block cipher as a C++ class (static library)
CRijnDael is the Rijndael block cipher with 16-, 24- and 32-byte keys and
blocks (AES when the block is 16 bytes) as a C++ class, with buffer
operations and a multi-key interface.
.
This package holds the static library libsealwrit.a, its headers under
/usr/include/sealwrit, a CMake package (find_package(sealwrit), target
sealwrit::rijndael) and a pkg-config file (sealwrit).")

include(CPack)
