# Cross build for 64-bit Windows with MinGW-w64 (Debian's mingw-w64 packages).
# The posix threading variant of the compiler provides std::thread, which the
# simulated box needs. Test programs run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ONDARIS_MINGW_PREFIX x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER ${ONDARIS_MINGW_PREFIX}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER ${ONDARIS_MINGW_PREFIX}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER ${ONDARIS_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ONDARIS_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The programs carry their runtime (libgcc, libstdc++, winpthread): no DLL
# to copy beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(ONDARIS_WINE NAMES wine64 wine)
if(ONDARIS_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ONDARIS_WINE})
endif()
