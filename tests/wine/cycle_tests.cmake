# Whole restart cycles of the simulation build under Wine (cycle_test.sh): the no-driver run and the
# disable that needs a restart, i686 in the 32-bit prefix and x86_64 in the 64-bit prefix. Included
# from tests/wine/CMakeLists.txt.
if(TARGET ovn_other_width)
  add_dependencies(ovn_other_width ovn_plux_cmd ovn_plux_core ovn_sim_apply_restart)
  return()
endif()
set(cycle_script ${CMAKE_CURRENT_LIST_DIR}/cycle_test.sh)
set(cycle_demo ${PROJECT_SOURCE_DIR}/samples/k740_demo.xsvf)
add_test(NAME updater_cycle_win32
         COMMAND sh ${cycle_script} $<TARGET_FILE:OvnK740FpgaUpdaterSimulation>
                 $<TARGET_FILE:ovn_plux_cmd> $<TARGET_FILE:ovn_plux_core>
                 $<TARGET_FILE:ovn_sim_apply_restart> ${cycle_demo})
ovn_use_wine_prefix(updater_cycle_win32 WIN32)
set_tests_properties(updater_cycle_win32 PROPERTIES TIMEOUT 900)
if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND TARGET ovnvxd_width64)
  set(width64 ${CMAKE_BINARY_DIR}/width64)
  add_test(NAME updater_cycle_win64
           COMMAND sh ${cycle_script} ${width64}/simulation/OvnK740FpgaUpdater.exe
                   ${width64}/testing/suite_doubles/Panelux/Orvane.PluxCmd.exe
                   ${width64}/testing/suite_doubles/Panelux/Orvane.Plux.Core.exe
                   ${width64}/testing/sim_logon/ovn_sim_apply_restart.exe ${cycle_demo})
  ovn_use_wine_prefix(updater_cycle_win64)
  set_tests_properties(updater_cycle_win64 PROPERTIES TIMEOUT 900)
endif()
