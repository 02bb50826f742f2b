# Cross build for Windows with MinGW-w64.
#
#   TARVIK_MINGW_ARCH     x86_64 (default) or i686
#   TARVIK_MINGW_THREADS  posix (default) or win32: the compilers' thread model
#
# The -posix compilers are the default because GoogleTest needs std::mutex,
# which the win32-thread ones lack. Their runtime (winpthread) imports
# functions newer than Windows XP, so the shipped tarvik.exe is built apart
# with the win32-thread compilers (see cmake/program_exe.cmake).
set(CMAKE_SYSTEM_NAME Windows)
if(NOT TARVIK_MINGW_ARCH)
  set(TARVIK_MINGW_ARCH x86_64)
endif()
if(NOT TARVIK_MINGW_THREADS)
  set(TARVIK_MINGW_THREADS posix)
endif()
if(NOT TARVIK_MINGW_ARCH MATCHES "^(x86_64|i686)$")
  message(FATAL_ERROR "TARVIK_MINGW_ARCH must be x86_64 or i686, not ${TARVIK_MINGW_ARCH}")
endif()
if(NOT TARVIK_MINGW_THREADS MATCHES "^(posix|win32)$")
  message(FATAL_ERROR "TARVIK_MINGW_THREADS must be posix or win32, not ${TARVIK_MINGW_THREADS}")
endif()
# The compiler checks CMake runs in scratch projects read this file again.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TARVIK_MINGW_ARCH TARVIK_MINGW_THREADS)

set(triple ${TARVIK_MINGW_ARCH}-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR ${TARVIK_MINGW_ARCH})
set(CMAKE_C_COMPILER ${triple}-gcc-${TARVIK_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${triple}-g++-${TARVIK_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# wine64 starts 64-bit programs; the plain loader is the one for 32-bit ones.
if(TARVIK_MINGW_ARCH STREQUAL "i686")
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine)
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
endif()
