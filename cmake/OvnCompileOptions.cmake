# Warnings as errors, sanitizers for host test builds, and the Windows-wide defines.
add_library(ovn_options INTERFACE)
target_compile_options(ovn_options INTERFACE -Wall -Wextra -Wpedantic -Werror)
target_include_directories(ovn_options INTERFACE ${PROJECT_SOURCE_DIR})
# GCC 12 reports overlapping copies inside libstdc++'s own string code at -O2/-O3 (a compiler bug,
# fixed in GCC 13); the warning says nothing about our code there.
target_compile_options(ovn_options INTERFACE
  $<$<AND:$<CXX_COMPILER_ID:GNU>,$<VERSION_LESS:$<CXX_COMPILER_VERSION>,13>>:-Wno-restrict>)

if(WIN32)
  target_compile_definitions(ovn_options INTERFACE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                                                   _WIN32_WINNT=0x0601)
  # Without -static the exe needs libwinpthread-1.dll and Wine refuses to start it.
  target_link_options(ovn_options INTERFACE -static -static-libgcc -static-libstdc++)
else()
  # The host edition's programs keep their debug information compressed (the sanitizers still read
  # it): a run copies and hashes its own program file, and the test suite starts hundreds of runs.
  target_link_options(ovn_options INTERFACE -Wl,--compress-debug-sections=zlib)
endif()

if(OVN_SANITIZE)
  # A test program's own code (OVN_TEST_CODE, cmake/OvnTesting.cmake) is compiled without the
  # instrumentation, which doubled its compile time: the code under test, in the libraries and the
  # programs the whole runs start, keeps it, and every allocation still goes through the sanitizer.
  target_compile_options(ovn_options INTERFACE -fno-omit-frame-pointer
    "$<$<NOT:$<BOOL:$<TARGET_PROPERTY:OVN_TEST_CODE>>>:-fsanitize=address,undefined;-fno-sanitize-recover=undefined>")
  target_link_options(ovn_options INTERFACE -fsanitize=address,undefined)
  # Position-dependent programs: UBSan's data for its checks is mostly pointers, which a
  # position-independent program relocates at every start (6.8 MB of relocations in the updater,
  # a third of its file), and a run copies and hashes its own file. The host edition has no shared
  # libraries.
  target_compile_options(ovn_options INTERFACE -fno-pie)
  target_link_options(ovn_options INTERFACE -no-pie)
endif()

if(OVN_SANITIZE_THREAD)
  if(OVN_SANITIZE)
    message(FATAL_ERROR "ThreadSanitizer cannot be combined with AddressSanitizer: set one of "
                        "OVN_SANITIZE and OVN_SANITIZE_THREAD")
  endif()
  target_compile_options(ovn_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(ovn_options INTERFACE -fsanitize=thread)
endif()

find_package(Threads REQUIRED)
target_link_libraries(ovn_options INTERFACE Threads::Threads)
