# The tests take GoogleTest, and OpenSSL and libmcrypt as independent answers. When
# one is missing, say what to install and how to build without the tests, rather
# than stop at the first failed search.
set(_sealwrit_missing "")
if(CMAKE_CROSSCOMPILING)
  # A cross build compiles GoogleTest from Debian's sources (tests/CMakeLists.txt).
  if(NOT EXISTS /usr/src/googletest/CMakeLists.txt)
    list(APPEND _sealwrit_missing "GoogleTest's sources (googletest)")
  endif()
else()
  find_package(GTest QUIET)
  find_package(OpenSSL QUIET COMPONENTS Crypto)
  find_library(MCRYPT_LIBRARY mcrypt)
  find_path(MCRYPT_INCLUDE_DIR mcrypt.h)
  if(NOT GTest_FOUND)
    list(APPEND _sealwrit_missing "GoogleTest (libgtest-dev)")
  endif()
  if(NOT OpenSSL_FOUND)
    list(APPEND _sealwrit_missing "OpenSSL's libcrypto (libssl-dev)")
  endif()
  if(NOT MCRYPT_LIBRARY OR NOT MCRYPT_INCLUDE_DIR)
    list(APPEND _sealwrit_missing "libmcrypt (libmcrypt-dev)")
  endif()
endif()
if(_sealwrit_missing)
  list(JOIN _sealwrit_missing ", " _sealwrit_missing)
  message(FATAL_ERROR
    "SEALWRIT's tests need what this machine lacks: ${_sealwrit_missing}.\n"
    "Install it from Debian's packages:\n"
    "  sudo apt install googletest libgtest-dev libssl-dev libmcrypt-dev\n"
    "(scripts/install-deps.sh installs everything the build and the tests need), "
    "or build the program and the library without the tests:\n"
    "  cmake -DSEALWRIT_TESTS=OFF ...   (as the preset \"program\" does)")
endif()
