# Toolchain: 32-bit Windows with the i686 MinGW-w64 cross compiler; tests run under Wine.
set(OVN_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
# The x86_64 compilers build the 64-bit payload components beside the 32-bit product.
set(OVN_MINGW64_CC x86_64-w64-mingw32-gcc-posix CACHE STRING "")
set(OVN_MINGW64_CXX x86_64-w64-mingw32-g++-posix CACHE STRING "")
