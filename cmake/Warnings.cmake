# Warnings are errors for every target of this project (not for third-party code
# built alongside it, such as GoogleTest in a cross build).
function(sealwrit_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()
