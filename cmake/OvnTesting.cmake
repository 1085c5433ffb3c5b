# ovn_add_test(name SOURCES ... LIBS ... [HOST_ONLY] [THREADS]): one GoogleTest executable registered
# with CTest. THREADS: its code starts threads, so the ThreadSanitizer build has something to find
# there; that build makes and runs only such tests (the host preset runs every test).
include(GoogleTest)

# The Wine prefixes shared by the tests of a Windows build, made fresh once per test run by the
# fixtures wine_prefix (64-bit) and wine_prefix32 (32-bit) of tests/wine.
set(OVN_WINE_PREFIX64 ${CMAKE_BINARY_DIR}/wine/prefix64)
set(OVN_WINE_PREFIX32 ${CMAKE_BINARY_DIR}/wine/prefix32)

# ovn_use_wine_prefix(test [WIN32]): the test runs in the shared 64-bit (or 32-bit) prefix with Wine's
# debug output off, and exit code 77 reports it skipped (this machine's Wine cannot run it).
function(ovn_use_wine_prefix test)
  cmake_parse_arguments(W "WIN32" "" "" ${ARGN})
  if(W_WIN32)
    set(prefix ${OVN_WINE_PREFIX32})
    set(fixture wine_prefix32)
  else()
    set(prefix ${OVN_WINE_PREFIX64})
    set(fixture wine_prefix)
  endif()
  set_tests_properties(${test} PROPERTIES
    ENVIRONMENT "WINEPREFIX=${prefix};WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml="
    FIXTURES_REQUIRED ${fixture} SKIP_RETURN_CODE 77 RESOURCE_LOCK wine)
endfunction()

# ovn_unoptimised_test_code(target): a test program's own code is compiled without optimisation, in
# both editions. The test files are most of the build's compile time (a whole-run test file takes
# four times as long at -O2 under the sanitizers, a Windows test file twice as long at -O3) and none
# of the run time; the code under test, in the libraries, keeps the build type's flags. Under
# AddressSanitizer and UBSan it is not instrumented either (OVN_TEST_CODE,
# cmake/OvnCompileOptions.cmake); ThreadSanitizer must see every access, so that build instruments it.
function(ovn_unoptimised_test_code target)
  target_compile_options(${target} PRIVATE -O0)
  set_target_properties(${target} PROPERTIES OVN_TEST_CODE ON)
endfunction()

function(ovn_add_test name)
  cmake_parse_arguments(T "HOST_ONLY;THREADS" "" "SOURCES;LIBS" ${ARGN})
  if(NOT OVN_TESTS)
    return()
  endif()
  if(OVN_SANITIZE_THREAD AND NOT T_THREADS)
    return()
  endif()
  if(T_HOST_ONLY AND WIN32)
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} ovn_options GTest::gtest_main)
  ovn_unoptimised_test_code(${name})
  # A test program is never the product: it carries the simulated components and the test switches.
  ovn_choose_payload(${name} simulation)
  if(CMAKE_CROSSCOMPILING)
    # Discovery would run the exe at build time under Wine; one CTest entry per executable is enough.
    add_test(NAME ${name} COMMAND ${name})
    ovn_use_wine_prefix(${name})
    # tests/wine registers the other width's build of each test executable from this list.
    file(RELATIVE_PATH rel ${CMAKE_BINARY_DIR} ${CMAKE_CURRENT_BINARY_DIR})
    set_property(GLOBAL APPEND PROPERTY OVN_WINDOWS_TEST_EXES "${name}|${rel}")
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()

# ovn_component(target DIR dir SOURCES ... [WIN32_SOURCES ...] [HOST_SOURCES ...] [TESTS ...]
#               [LIBS ...] [TEST_LIBS ...] [WINDOWS_TESTS] [THREADED_TESTS]):
# a static library of SOURCES plus this platform's own list (WIN32_SOURCES: `_win.cpp`, Win32;
# HOST_SOURCES: `_posix.cpp`, real POSIX code, and `_sim.cpp`, code on the simulated machine or host);
# plus one test executable <dir>_tests of TESTS (for a room, DIR app/run, app_run_tests). Every file
# is named: a new file builds only where it is listed. Names are checked against their list so a
# Win32 file never lands in the host edition. THREADED_TESTS: the tests start threads (ovn_add_test's
# THREADS).
function(ovn_component target)
  cmake_parse_arguments(C "WINDOWS_TESTS;THREADED_TESTS" "DIR" "SOURCES;WIN32_SOURCES;HOST_SOURCES;TESTS;LIBS;TEST_LIBS"
                        ${ARGN})
  foreach(f ${C_SOURCES})
    if(f MATCHES "_(win|sim|posix|test|testutil|bench|fuzz|main)\\.cpp$")
      message(FATAL_ERROR "${C_DIR}: ${f} belongs to a platform's list, the tests or a program of its own")
    endif()
  endforeach()
  foreach(f ${C_WIN32_SOURCES})
    if(NOT f MATCHES "_win\\.cpp$")
      message(FATAL_ERROR "${C_DIR}: ${f} in WIN32_SOURCES is not a _win.cpp file")
    endif()
  endforeach()
  foreach(f ${C_HOST_SOURCES})
    if(NOT f MATCHES "_(posix|sim)\\.cpp$")
      message(FATAL_ERROR "${C_DIR}: ${f} in HOST_SOURCES is neither a _posix.cpp nor a _sim.cpp file")
    endif()
  endforeach()
  set(lib_sources ${C_SOURCES})
  if(OVN_PLATFORM STREQUAL "win")
    list(APPEND lib_sources ${C_WIN32_SOURCES})
  else()
    list(APPEND lib_sources ${C_HOST_SOURCES})
  endif()
  if(lib_sources)
    add_library(${target} STATIC ${lib_sources})
    target_link_libraries(${target} PUBLIC ovn_options ${C_LIBS})
  else()
    add_library(${target} INTERFACE)
    target_link_libraries(${target} INTERFACE ovn_options ${C_LIBS})
  endif()
  if(C_TESTS)
    if(WIN32 AND NOT C_WINDOWS_TESTS)
      return()
    endif()
    string(REPLACE "/" "_" test_name "${C_DIR}_tests")
    set(threads)
    if(C_THREADED_TESTS)
      set(threads THREADS)
    endif()
    ovn_add_test(${test_name} SOURCES ${C_TESTS} LIBS ${target} ${C_TEST_LIBS} ${threads})
  endif()
endfunction()
