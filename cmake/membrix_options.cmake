# Compiler settings shared by every target of the project.

# Sanitizers instrument everything that is compiled and linked in this tree,
# including the test and benchmark harnesses, so a fault is caught wherever
# the engine's code is reached from.
if(MEMBRIX_SANITIZE)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    message(FATAL_ERROR "MEMBRIX_SANITIZE needs GCC or Clang")
  endif()
  set(_membrix_sanitize_flags
      -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${_membrix_sanitize_flags})
  add_link_options(${_membrix_sanitize_flags})
endif()

# Warnings for a target built from this project's sources.
function(membrix_target_warnings target)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    if(MEMBRIX_WERROR)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
  elseif(MSVC)
    target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${MEMBRIX_WERROR}>:/WX>)
  endif()
endfunction()
