# Toolchain: 64-bit Windows with the x86_64 MinGW-w64 cross compiler, for the 64-bit payload components.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(OVN_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${OVN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OVN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${OVN_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${OVN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Picks the Wine loader that runs this width here, or reports the test skipped (exit 77).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
