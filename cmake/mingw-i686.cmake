# Toolchain: 32-bit Windows with the i686 MinGW-w64 cross compiler (posix thread model); tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(OVN_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${OVN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OVN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${OVN_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${OVN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Picks the Wine loader that runs this width here, or reports the test skipped (exit 77).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
# The x86_64 compilers build the 64-bit payload components beside the 32-bit product.
set(OVN_MINGW64_CC x86_64-w64-mingw32-gcc-posix CACHE STRING "")
set(OVN_MINGW64_CXX x86_64-w64-mingw32-g++-posix CACHE STRING "")
