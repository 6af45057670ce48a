# The tests take GoogleTest, OpenSSL, libmcrypt, and PHP's mcrypt and .NET's
# RijndaelManaged (through Mono) as independent answers, clang's fuzzing header,
# valgrind, and a few tools the install and documentation checks run
# (-DSEALWRIT_VALGRIND_TESTS=OFF leaves valgrind out). When any is missing, name every
# one with its Debian package and say how to build without the tests, rather than stop
# at the first failed search.
set(_sealwrit_missing "")
set(_sealwrit_packages "")
macro(_sealwrit_need found what package)
  if(NOT ${found})
    list(APPEND _sealwrit_missing "${what} (${package})")
    list(APPEND _sealwrit_packages ${package})
  endif()
endmacro()

if(CMAKE_CROSSCOMPILING)
  # A cross build compiles GoogleTest from Debian's sources (tests/CMakeLists.txt).
  set(_sealwrit_gtest_sources FALSE)
  if(EXISTS /usr/src/googletest/CMakeLists.txt)
    set(_sealwrit_gtest_sources TRUE)
  endif()
  _sealwrit_need(_sealwrit_gtest_sources "GoogleTest's sources" googletest)
else()
  find_package(GTest QUIET)
  find_package(OpenSSL QUIET COMPONENTS Crypto)
  find_library(MCRYPT_LIBRARY mcrypt)
  find_path(MCRYPT_INCLUDE_DIR mcrypt.h)
  # <fuzzer/FuzzedDataProvider.h> comes with clang's runtime; fuzz/ copies it so that
  # g++ can include it without clang's other headers.
  file(GLOB _sealwrit_clang_includes /usr/lib/llvm-*/lib/clang/*/include)
  find_file(FUZZED_DATA_PROVIDER fuzzer/FuzzedDataProvider.h PATHS ${_sealwrit_clang_includes})
  find_path(X11_XMD_INCLUDE_DIR X11/Xmd.h)
  find_program(GROFF groff)
  find_program(PKG_CONFIG_EXECUTABLE pkg-config)
  find_program(NINJA ninja)
  find_program(MAKE_PROGRAM make)
  # The programs that wrote the legacy data the rijndael tool opens: PHP with its
  # mcrypt extension, and Mono's C# compiler and runtime for .NET's RijndaelManaged.
  find_program(PHP php)
  find_program(MCS mcs)
  find_program(MONO mono)
  set(_sealwrit_php_mcrypt FALSE)
  if(PHP)
    execute_process(COMMAND ${PHP} -r "exit(function_exists('mcrypt_encrypt') ? 0 : 1);"
                    RESULT_VARIABLE _sealwrit_php_status OUTPUT_QUIET ERROR_QUIET)
    if(_sealwrit_php_status EQUAL 0)
      set(_sealwrit_php_mcrypt TRUE)
    endif()
  endif()
  _sealwrit_need(GTest_FOUND "GoogleTest" libgtest-dev)
  _sealwrit_need(OpenSSL_FOUND "OpenSSL's libcrypto" libssl-dev)
  set(_sealwrit_mcrypt_found FALSE)
  if(MCRYPT_LIBRARY AND MCRYPT_INCLUDE_DIR)
    set(_sealwrit_mcrypt_found TRUE)
  endif()
  _sealwrit_need(_sealwrit_mcrypt_found "libmcrypt" libmcrypt-dev)
  _sealwrit_need(FUZZED_DATA_PROVIDER "clang's fuzzer/FuzzedDataProvider.h" libclang-rt-14-dev)
  _sealwrit_need(X11_XMD_INCLUDE_DIR "X11's X11/Xmd.h" x11proto-dev)
  _sealwrit_need(GROFF "groff" groff-base)
  _sealwrit_need(PKG_CONFIG_EXECUTABLE "pkg-config" pkg-config)
  _sealwrit_need(NINJA "ninja" ninja-build)
  _sealwrit_need(MAKE_PROGRAM "make" make)
  _sealwrit_need(PHP "PHP" php8.2-cli)
  _sealwrit_need(_sealwrit_php_mcrypt "PHP's mcrypt extension" php-mcrypt)
  _sealwrit_need(MCS "Mono's C# compiler" mono-mcs)
  _sealwrit_need(MONO "Mono" mono-runtime)
  if(NOT DEFINED SEALWRIT_VALGRIND_TESTS OR SEALWRIT_VALGRIND_TESTS)
    find_program(VALGRIND valgrind)
    find_path(VALGRIND_INCLUDE_DIR valgrind/memcheck.h)
    _sealwrit_need(VALGRIND "valgrind" valgrind)
    _sealwrit_need(VALGRIND_INCLUDE_DIR "valgrind's headers" valgrind)
  endif()
endif()
if(_sealwrit_missing)
  list(JOIN _sealwrit_missing ", " _sealwrit_missing)
  list(REMOVE_DUPLICATES _sealwrit_packages)
  list(JOIN _sealwrit_packages " " _sealwrit_packages)
  message(FATAL_ERROR
    "SEALWRIT's tests need what this machine lacks: ${_sealwrit_missing}.\n"
    "Install it from Debian's packages:\n"
    "  sudo apt install ${_sealwrit_packages}\n"
    "(scripts/install-deps.sh installs everything the build and the tests need), "
    "or build the program and the library without the tests:\n"
    "  cmake -DSEALWRIT_TESTS=OFF ...   (as the preset \"program\" does)")
endif()
