# Test helpers. Native tests run directly; Windows tests run under Wine
# (CMAKE_CROSSCOMPILING_EMULATOR) in a private prefix made once per build folder.

if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(QV_WINEARCH win32)
  else()
    set(QV_WINEARCH win64)
  endif()
  set(QV_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  set(QV_WINE_ENV
    "WINEPREFIX=${QV_WINEPREFIX}"
    "WINEDEBUG=-all"
    "WINEDLLOVERRIDES=winedbg.exe=d;winealsa.drv=d"
    "WINEARCH=${QV_WINEARCH}")
endif()

# qv_add_test(NAME name TARGET target [ARGS ...] [LABELS ...] [TIMEOUT s] [RESOURCE_LOCK ...])
# A Windows test depends on the Wine prefix fixture.
function(qv_add_test)
  cmake_parse_arguments(T "" "NAME;TARGET;TIMEOUT" "ARGS;LABELS;RESOURCE_LOCK" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_TARGET} ${T_ARGS})
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}")
  if(T_RESOURCE_LOCK)
    set_tests_properties(${T_NAME} PROPERTIES RESOURCE_LOCK "${T_RESOURCE_LOCK}")
  endif()
  if(WIN32)
    set_tests_properties(${T_NAME} PROPERTIES
      FIXTURES_REQUIRED wineprefix
      ENVIRONMENT "${QV_WINE_ENV}")
  endif()
endfunction()
