# GoogleTest, Google Benchmark and nlohmann-json: system packages on the host, sources for MinGW.
set(OVN_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources (Debian package googletest)")

# nlohmann-json is header-only; copy it so a cross build never puts the host's /usr/include on its path.
# Debian ships it as many headers under nlohmann/, which json.hpp includes: the folder is copied.
set(OVN_JSON_HEADER /usr/include/nlohmann/json.hpp CACHE FILEPATH "nlohmann json.hpp")
if(NOT EXISTS ${OVN_JSON_HEADER})
  message(FATAL_ERROR "nlohmann json.hpp not found at ${OVN_JSON_HEADER}: run scripts/setup.sh")
endif()
get_filename_component(ovn_json_dir ${OVN_JSON_HEADER} DIRECTORY)
file(COPY ${ovn_json_dir}/ DESTINATION ${CMAKE_BINARY_DIR}/third_party/include/nlohmann)
add_library(ovn_json INTERFACE)
target_include_directories(ovn_json SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/third_party/include)

if(OVN_TESTS)
  if(CMAKE_CROSSCOMPILING)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    add_subdirectory(${OVN_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/third_party/googletest EXCLUDE_FROM_ALL)
    target_compile_options(gtest PRIVATE -w)
    target_compile_options(gtest_main PRIVATE -w)
    # GoogleTest 1.11 and later define these names themselves.
    if(NOT TARGET GTest::gtest)
      add_library(GTest::gtest ALIAS gtest)
      add_library(GTest::gtest_main ALIAS gtest_main)
    endif()
  else()
    find_package(GTest REQUIRED)
  endif()
endif()

if(OVN_BENCH AND NOT CMAKE_CROSSCOMPILING)
  find_package(benchmark REQUIRED)
endif()
