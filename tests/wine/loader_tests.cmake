# The driver-access loader under Wine: a probe program, a planted library, and the scripted cases in
# a fresh prefix of each width (loader_test.sh). Included from tests/wine/CMakeLists.txt.
add_executable(loader_probe ${CMAKE_CURRENT_LIST_DIR}/loader_probe_win.cpp)
target_link_libraries(loader_probe PRIVATE ovn_hwaccess ovn_device ovn_options)
ovn_choose_payload(loader_probe simulation)

add_library(loader_planted SHARED ${CMAKE_CURRENT_LIST_DIR}/loader_planted_win.cpp)
set_target_properties(loader_planted PROPERTIES PREFIX "" OUTPUT_NAME OvnVxdPlanted)
target_link_libraries(loader_planted PRIVATE ovn_options)

set(loader_script ${CMAKE_CURRENT_LIST_DIR}/loader_test.sh)
if(TARGET ovn_other_width)
  # The second-width build of the payload: its probe runs from the parent build's tests.
  add_dependencies(ovn_other_width loader_probe loader_planted)
  return()
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(own_arch win64)
else()
  set(own_arch win32)
endif()
add_test(NAME loader_${own_arch}
         COMMAND sh ${loader_script} ${own_arch} $<TARGET_FILE:loader_probe>
                 $<TARGET_FILE:loader_planted> ${OVN_PAYLOAD_IMAGES}
                 $<TARGET_FILE:OvnK740FpgaUpdaterSimulation>)
set_tests_properties(loader_${own_arch} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 900
                                                       RESOURCE_LOCK wine)

if(own_arch STREQUAL "win32" AND TARGET ovnvxd_width64)
  # The product is 32-bit; its loader also runs as a 64-bit build in a 64-bit prefix, which works
  # where the machine cannot run 32-bit programs at all.
  set(width64 ${CMAKE_BINARY_DIR}/width64)
  add_test(NAME loader_win64
           COMMAND sh ${loader_script} win64 ${width64}/tests/wine/loader_probe.exe
                   ${width64}/tests/wine/OvnVxdPlanted.dll ${width64}/payload/images
                   ${width64}/simulation/OvnK740FpgaUpdater.exe)
  set_tests_properties(loader_win64 PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 900
                                                       RESOURCE_LOCK wine)
endif()
