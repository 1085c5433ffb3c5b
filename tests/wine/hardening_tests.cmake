# The elevated exe's defences: its import table, no test switch in the product, libraries planted
# beside it and image names outside the ANSI code page under Wine (hardening_test.sh), and a name
# holding an unpaired surrogate, kept whole in the result (surrogate_name_test.sh). Included from
# tests/wine/CMakeLists.txt.
add_library(planted_system_dll SHARED ${CMAKE_CURRENT_LIST_DIR}/planted_system_dll_win.cpp)
set_target_properties(planted_system_dll PROPERTIES PREFIX "" OUTPUT_NAME OvnPlantedSystemDll)
# Undecorated export names on i686, as the system's own libraries have them.
target_link_options(planted_system_dll PRIVATE -Wl,--kill-at)
target_link_libraries(planted_system_dll PRIVATE ovn_options)

add_executable(planted_control ${CMAKE_CURRENT_LIST_DIR}/planted_control_win.cpp)
target_link_libraries(planted_control PRIVATE ovn_options powrprof)

add_executable(surrogate_launcher ${CMAKE_CURRENT_LIST_DIR}/surrogate_launcher_win.cpp)
target_link_libraries(surrogate_launcher PRIVATE ovn_options)
target_link_options(surrogate_launcher PRIVATE -municode)

if(TARGET ovn_other_width)
  # The second-width build: its exe and test programs run from the parent build's tests.
  add_dependencies(ovn_other_width planted_system_dll planted_control surrogate_launcher)
  return()
endif()

set(hardening_script ${CMAKE_CURRENT_LIST_DIR}/hardening_test.sh)
set(hardening_demo ${PROJECT_SOURCE_DIR}/samples/k740_demo.xsvf)
set(imports_script ${CMAKE_CURRENT_LIST_DIR}/check_imports.cmake)
set(switch_script ${CMAKE_CURRENT_LIST_DIR}/check_no_test_switch.cmake)
# Every switch that the simulation build's test hooks read (payload/test_hooks_simulation.cpp).
set(test_switches OVN_SUPPRESS_SHUTDOWN OVN_SIM_TIME_SCALE)

# ovn_hardening_tests(suffix objdump product-exe simulation-exe test-programs-dir): the import
# table of both exes, no test switch in the product, and the planted libraries and Unicode names
# with the simulation build (it has cards; the product's components must not enter the shared
# prefix).
function(ovn_hardening_tests suffix objdump product simulation programs)
  foreach(exe product simulation)
    add_test(NAME updater_imports_${exe}${suffix}
             COMMAND ${CMAKE_COMMAND} -DEXE=${${exe}} -DOBJDUMP=${objdump} -P ${imports_script})
  endforeach()
  add_test(NAME updater_no_test_switch${suffix}
           COMMAND ${CMAKE_COMMAND} -DEXE=${product} "-DNAMES=${test_switches}" -P ${switch_script})
  add_test(NAME updater_hardening${suffix}
           COMMAND sh ${hardening_script} ${simulation} ${programs}/OvnPlantedSystemDll.dll
                   ${programs}/planted_control.exe ${hardening_demo})
  ovn_use_wine_prefix(updater_hardening${suffix})
  set_tests_properties(updater_hardening${suffix} PROPERTIES TIMEOUT 600)
  add_test(NAME updater_surrogate_name${suffix}
           COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/surrogate_name_test.sh ${simulation}
                   ${programs}/surrogate_launcher.exe ${hardening_demo})
  ovn_use_wine_prefix(updater_surrogate_name${suffix})
  set_tests_properties(updater_surrogate_name${suffix} PROPERTIES TIMEOUT 600)
endfunction()

ovn_hardening_tests("" ${CMAKE_OBJDUMP} $<TARGET_FILE:OvnK740FpgaUpdater>
                    $<TARGET_FILE:OvnK740FpgaUpdaterSimulation> ${CMAKE_CURRENT_BINARY_DIR})
if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND TARGET ovnvxd_width64)
  set(width64 ${CMAKE_BINARY_DIR}/width64)
  ovn_hardening_tests(_64 x86_64-w64-mingw32-objdump ${width64}/OvnK740FpgaUpdater.exe
                      ${width64}/simulation/OvnK740FpgaUpdater.exe ${width64}/tests/wine)
endif()
