# The elevated exe's defences under Wine: its import table, libraries planted beside it, and image
# names outside the ANSI code page (hardening_test.sh). Included from tests/wine/CMakeLists.txt.
add_library(planted_system_dll SHARED ${CMAKE_CURRENT_LIST_DIR}/planted_system_dll_win.cpp)
set_target_properties(planted_system_dll PROPERTIES PREFIX "" OUTPUT_NAME OvnPlantedSystemDll)
# Undecorated export names on i686, as the system's own libraries have them.
target_link_options(planted_system_dll PRIVATE -Wl,--kill-at)
target_link_libraries(planted_system_dll PRIVATE ovn_options)

add_executable(planted_control ${CMAKE_CURRENT_LIST_DIR}/planted_control_win.cpp)
target_link_libraries(planted_control PRIVATE ovn_options powrprof)

if(TARGET ovn_other_width)
  # The second-width build: its exe and test programs run from the parent build's tests.
  add_dependencies(ovn_other_width planted_system_dll planted_control)
  return()
endif()

set(hardening_script ${CMAKE_CURRENT_LIST_DIR}/hardening_test.sh)
set(hardening_demo ${PROJECT_SOURCE_DIR}/samples/k740_demo.xsvf)

add_test(NAME updater_imports
         COMMAND ${CMAKE_COMMAND} -DEXE=$<TARGET_FILE:OvnK740FpgaUpdater> -DOBJDUMP=${CMAKE_OBJDUMP}
                 -P ${CMAKE_CURRENT_LIST_DIR}/check_imports.cmake)
add_test(NAME updater_hardening
         COMMAND sh ${hardening_script} $<TARGET_FILE:OvnK740FpgaUpdater>
                 $<TARGET_FILE:planted_system_dll> $<TARGET_FILE:planted_control> ${hardening_demo})
ovn_use_wine_prefix(updater_hardening)
set_tests_properties(updater_hardening PROPERTIES TIMEOUT 600)

if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND TARGET ovnvxd_width64)
  set(width64 ${CMAKE_BINARY_DIR}/width64)
  add_test(NAME updater_imports_64
           COMMAND ${CMAKE_COMMAND} -DEXE=${width64}/OvnK740FpgaUpdater.exe
                   -DOBJDUMP=x86_64-w64-mingw32-objdump -P ${CMAKE_CURRENT_LIST_DIR}/check_imports.cmake)
  add_test(NAME updater_hardening_64
           COMMAND sh ${hardening_script} ${width64}/OvnK740FpgaUpdater.exe
                   ${width64}/tests/wine/OvnPlantedSystemDll.dll
                   ${width64}/tests/wine/planted_control.exe ${hardening_demo})
  ovn_use_wine_prefix(updater_hardening_64)
  set_tests_properties(updater_hardening_64 PROPERTIES TIMEOUT 600)
endif()
