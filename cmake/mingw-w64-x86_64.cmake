# Cross build for 64-bit Windows with MinGW-w64 (Debian's mingw-w64 packages).
# The posix threading variant of the compiler provides std::thread, which the
# simulated box needs. Test programs run under Wine.
#
# The Windows libraries (Qt 6, FFTW, pugixml, HDF5, libusb) come from one
# prefix, made from Debian's sources by scripts/deps-windows.sh:
# -DONDARIS_WINDOWS_PREFIX=… or the variable of the same name in the
# environment.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ONDARIS_MINGW_PREFIX x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER ${ONDARIS_MINGW_PREFIX}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER ${ONDARIS_MINGW_PREFIX}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER ${ONDARIS_MINGW_PREFIX}-windres)

if(NOT ONDARIS_WINDOWS_PREFIX AND DEFINED ENV{ONDARIS_WINDOWS_PREFIX})
  set(ONDARIS_WINDOWS_PREFIX $ENV{ONDARIS_WINDOWS_PREFIX})
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${ONDARIS_MINGW_PREFIX})
if(ONDARIS_WINDOWS_PREFIX)
  list(APPEND CMAKE_FIND_ROOT_PATH ${ONDARIS_WINDOWS_PREFIX})
  list(APPEND CMAKE_PREFIX_PATH ${ONDARIS_WINDOWS_PREFIX})
  # Qt's host part is Debian's own (moc, rcc, uic).
  set(QT_HOST_PATH /usr)
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
  set(Qt6HostInfo_DIR /usr/lib/x86_64-linux-gnu/cmake/Qt6HostInfo)
  # Passed on to try_compile's projects.
  list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ONDARIS_WINDOWS_PREFIX)
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The programs carry the compiler's runtime (libgcc, libstdc++, winpthread);
# the libraries of the prefix are DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(ONDARIS_WINE NAMES wine64 wine)
if(ONDARIS_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ONDARIS_WINE})
endif()
