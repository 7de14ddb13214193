# Shared by the mingw-w64 toolchain files, which set QV_MINGW_TRIPLET and
# CMAKE_SYSTEM_PROCESSOR first. The posix-thread compilers give std::thread and
# std::mutex, and everything shares one runtime.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER   ${QV_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QV_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER  ${QV_MINGW_TRIPLET}-windres)
set(CMAKE_AR           /usr/bin/${QV_MINGW_TRIPLET}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB       /usr/bin/${QV_MINGW_TRIPLET}-ranlib CACHE FILEPATH "")

# Dependencies cross-built by scripts/build-mingw-deps.sh.
get_filename_component(_qv_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(QV_MINGW_DEPS "${_qv_root}/.cache/mingw-deps/${QV_MINGW_TRIPLET}" CACHE PATH "cross-built dependencies")
set(CMAKE_FIND_ROOT_PATH /usr/${QV_MINGW_TRIPLET} ${QV_MINGW_DEPS})
set(CMAKE_PREFIX_PATH ${QV_MINGW_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests run under Wine.
find_program(QV_WINE NAMES wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QV_WINE})
