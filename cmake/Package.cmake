# `cpack` (or `cmake --workflow --preset package`) makes a Debian package of what
# `cmake --install` installs, under /usr: sealwrit_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sealwrit)
set(CPACK_PACKAGE_VENDOR "SEALWRIT developers")
set(CPACK_PACKAGE_CONTACT "SEALWRIT developers")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "encrypt a text with AES-128 under a built-in key, and the CRijnDael cipher class")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"SEALWRIT encrypts one text given on its command line with AES-128 in electronic
codebook mode under a key built into the program, carries a tail shorter than one
block in clear, and prints the cipher text in Base64. It produces the exact bytes
other systems expect; it does not keep secrets (see SEALWRIT(1)).
.
The package also holds CRijnDael, the Rijndael block cipher with 16-, 24- and
32-byte keys and blocks as a C++ class: the static library libsealwrit.a, its
headers under /usr/include/sealwrit, a CMake package (find_package(sealwrit)) and
a pkg-config file (sealwrit).")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The program is linked statically and the library is an archive: nothing to
# depend on at run time.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
set(CPACK_STRIP_FILES ON)
include(CPack)
