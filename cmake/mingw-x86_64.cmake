# Toolchain: 64-bit Windows with the x86_64 MinGW-w64 cross compiler, for the 64-bit payload components.
set(OVN_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
