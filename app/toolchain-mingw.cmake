# Debian's mingw-w64 cross compiler for Windows, with posix threads: 32-bit (i686, the
# product) unless AMPWISE_ARCH=x86_64 asks for the 64-bit build of the same sources.
if(NOT AMPWISE_ARCH)
  set(AMPWISE_ARCH i686)
endif()
# Checks that CMake compiles in projects of its own must use the same compiler.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES AMPWISE_ARCH)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${AMPWISE_ARCH})
set(CMAKE_C_COMPILER ${AMPWISE_ARCH}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${AMPWISE_ARCH}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${AMPWISE_ARCH}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${AMPWISE_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
