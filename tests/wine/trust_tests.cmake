# The elevated run against its operator's own unelevated programs under Wine (trust_test.sh), one
# test per attack: the suite's folder from the environment, the start folder changed between the
# restart and the resume, a re-pointed temporary folder with a planted tool, links in place of the
# log and the settings file, the log's folder re-pointed by the environment or a link, a user's
# held file where the working folder goes, files and links planted under the working folder's
# names, and the running exe swapped in the start folder while the run waits. i686 in the 32-bit
# prefix, x86_64 in the 64-bit one. Included from tests/wine/CMakeLists.txt.
add_executable(trust_marker ${CMAKE_CURRENT_LIST_DIR}/trust_marker_win.cpp)
target_link_libraries(trust_marker PRIVATE ovn_options)
target_link_options(trust_marker PRIVATE -municode)
add_executable(file_holder ${CMAKE_CURRENT_LIST_DIR}/file_holder_win.cpp)
target_link_libraries(file_holder PRIVATE ovn_options)
target_link_options(file_holder PRIVATE -municode)

if(TARGET ovn_other_width)
  add_dependencies(ovn_other_width trust_marker file_holder ovn_plux_cmd ovn_plux_core
                   ovn_sim_apply_restart)
  return()
endif()
set(trust_script ${CMAKE_CURRENT_LIST_DIR}/trust_test.sh)
set(trust_demo ${PROJECT_SOURCE_DIR}/samples/k740_demo.xsvf)
foreach(attack environment start_folder temp_folder links log_base in_the_way planted_files
                swapped_exe)
  add_test(NAME updater_trust_${attack}_win32
           COMMAND sh ${trust_script} ${attack} $<TARGET_FILE:OvnK740FpgaUpdaterSimulation>
                   $<TARGET_FILE:ovn_plux_cmd> $<TARGET_FILE:ovn_plux_core>
                   $<TARGET_FILE:ovn_sim_apply_restart> $<TARGET_FILE:trust_marker> ${trust_demo}
                   $<TARGET_FILE:file_holder>)
  ovn_use_wine_prefix(updater_trust_${attack}_win32 WIN32)
  set_tests_properties(updater_trust_${attack}_win32 PROPERTIES TIMEOUT 900)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND TARGET ovnvxd_width64)
    set(width64 ${CMAKE_BINARY_DIR}/width64)
    add_test(NAME updater_trust_${attack}_win64
             COMMAND sh ${trust_script} ${attack} ${width64}/simulation/OvnK740FpgaUpdater.exe
                     ${width64}/testing/suite_doubles/Panelux/Orvane.PluxCmd.exe
                     ${width64}/testing/suite_doubles/Panelux/Orvane.Plux.Core.exe
                     ${width64}/testing/sim_logon/ovn_sim_apply_restart.exe
                     ${width64}/tests/wine/trust_marker.exe ${trust_demo}
                     ${width64}/tests/wine/file_holder.exe)
    ovn_use_wine_prefix(updater_trust_${attack}_win64)
    set_tests_properties(updater_trust_${attack}_win64 PROPERTIES TIMEOUT 900)
  endif()
endforeach()
