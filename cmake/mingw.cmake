# Toolchain for Windows with the MinGW-w64 cross compiler (posix thread model) of one width, set by
# the entry file as OVN_MINGW_PROCESSOR (i686 or x86_64) before it includes this one.
if(NOT OVN_MINGW_PROCESSOR MATCHES "^(i686|x86_64)$")
  message(FATAL_ERROR "mingw.cmake: set OVN_MINGW_PROCESSOR to i686 or x86_64 (use mingw-<width>.cmake)")
endif()
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${OVN_MINGW_PROCESSOR})
set(OVN_MINGW_TRIPLE ${OVN_MINGW_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${OVN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OVN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${OVN_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${OVN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Picks the Wine loader that runs this width here, or reports the test skipped (exit 77).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
