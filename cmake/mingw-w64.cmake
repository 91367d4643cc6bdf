# Cross toolchain for Windows with mingw-w64. The preset sets ORVANE_MINGW_ARCH:
# i686 gives the deliverable (PE32), x86_64 the build that Wine runs here (PE32+).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${ORVANE_MINGW_ARCH})
# try_compile projects read this file again and need the width too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ORVANE_MINGW_ARCH)

set(triple ${ORVANE_MINGW_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc)
set(CMAKE_CXX_COMPILER ${triple}-g++)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
