# Compiler settings shared by every target of the project.
set(QV_SANITIZE "" CACHE STRING "sanitizers for the native build: address,undefined or thread")

add_library(qv_settings INTERFACE)
target_compile_options(qv_settings INTERFACE
  $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Wno-unused-parameter>)

if(QV_SANITIZE)
  target_compile_options(qv_settings INTERFACE -fsanitize=${QV_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  target_link_options(qv_settings INTERFACE -fsanitize=${QV_SANITIZE})
endif()

if(WIN32)
  # Windows 7 API level; strsafe.h (pulled in by dshow.h) must not deprecate the C library.
  target_compile_definitions(qv_settings INTERFACE
    WIN32_LEAN_AND_MEAN NOMINMAX STRSAFE_NO_DEPRECATE _WIN32_WINNT=0x0601 WINVER=0x0601)
  # One static runtime (libgcc, libstdc++, winpthread): the binaries import system DLLs only.
  target_link_options(qv_settings INTERFACE -static -static-libgcc -static-libstdc++)
endif()

# 32-bit Windows keeps the stack only 4-byte aligned, while GCC takes 16 for granted and
# uses spilled vectors as SSE memory operands, which fault when misaligned. Every target
# with SIMD kernels a host can reach realigns on entry where a function needs it.
function(qv_realign_stack_for_simd target)
  if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    target_compile_options(${target} PRIVATE -mincoming-stack-boundary=2)
  endif()
endfunction()
