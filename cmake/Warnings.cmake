# Warnings are errors for every target of this project (not for third-party code
# built alongside it, such as GoogleTest in a cross build). Inside another project
# they stay warnings: a newer compiler there must not stop that project's build.
function(sealwrit_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(PROJECT_IS_TOP_LEVEL)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
