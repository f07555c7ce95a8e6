# Cross-compiles for 32-bit Windows with Debian's MinGW-w64 (i686-w64-mingw32).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(WQD_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${WQD_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${WQD_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${WQD_MINGW_PREFIX}-windres)
set(CMAKE_AR ${WQD_MINGW_PREFIX}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${WQD_MINGW_PREFIX}-ranlib CACHE FILEPATH "")
set(CMAKE_STRIP ${WQD_MINGW_PREFIX}-strip CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${WQD_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program is self-contained: no libgcc, libstdc++ or winpthread DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run as 32-bit Windows programs under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
