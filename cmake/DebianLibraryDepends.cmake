# Read by cpack before it makes the packages (CPACK_PROJECT_CONFIG_FILE): the
# run-time library package's Depends, which dpkg-shlibdeps works out from the
# libraries that libsealwrit.so.1 loads (the C library, and the version of it that
# the symbols it uses need). cmake/Package.cmake says why CPack does not do this.
if(CPACK_GENERATOR STREQUAL "DEB")
  # dpkg-shlibdeps looks for a source package's control file, which this build has not.
  set(work ${CPACK_PACKAGE_DIRECTORY}/shlibdeps)
  file(WRITE ${work}/debian/control "")
  execute_process(COMMAND dpkg-shlibdeps -O "${CPACK_SEALWRIT_SHARED_LIBRARY}"
    WORKING_DIRECTORY ${work}
    OUTPUT_VARIABLE depends OUTPUT_STRIP_TRAILING_WHITESPACE
    ERROR_VARIABLE error
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT depends MATCHES "^shlibs:Depends=(.+)$")
    message(FATAL_ERROR "dpkg-shlibdeps on ${CPACK_SEALWRIT_SHARED_LIBRARY} failed: ${error}")
  endif()
  set(CPACK_DEBIAN_LIBRARY_PACKAGE_DEPENDS "${CMAKE_MATCH_1}")
endif()
