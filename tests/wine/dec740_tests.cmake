# dec740 under Wine: the SetupAPI build of each width against devices a helper creates
# (dec740_test.sh), with planted libraries beside it, and the import tables of both widths.
# Included from tests/wine/CMakeLists.txt after loader_tests.cmake (its planted library is reused).
add_executable(dec740_device ${CMAKE_CURRENT_LIST_DIR}/dec740_device_win.cpp)
target_link_libraries(dec740_device PRIVATE ovn_options setupapi advapi32)
add_executable(dec740_planted_control ${CMAKE_CURRENT_LIST_DIR}/dec740_planted_control_win.cpp)
target_link_libraries(dec740_planted_control PRIVATE ovn_options)

if(TARGET ovn_other_width)
  # The second-width build: its programs run from the parent build's tests.
  add_dependencies(ovn_other_width dec740_device dec740_planted_control loader_planted)
  return()
endif()

set(dec740_script ${CMAKE_CURRENT_LIST_DIR}/dec740_test.sh)
set(dec740_imports_script ${CMAKE_CURRENT_LIST_DIR}/check_dec740_imports.cmake)
# The x86_64 objdump reads the images of both widths.
find_program(OVN_OBJDUMP64 x86_64-w64-mingw32-objdump)
set(objdump ${CMAKE_OBJDUMP})
if(OVN_OBJDUMP64)
  set(objdump ${OVN_OBJDUMP64})
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(own 64)
else()
  set(own 32)
endif()
add_test(NAME dec740_win${own}
         COMMAND sh ${dec740_script} $<TARGET_FILE:dec740> $<TARGET_FILE:dec740_device>
                 $<TARGET_FILE:loader_planted> $<TARGET_FILE:dec740_planted_control>)
add_test(NAME dec740_simulation_win${own}
         COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/dec740_simulation_test.sh
                 $<TARGET_FILE:dec740_simulation>)
if(own EQUAL 32)
  ovn_use_wine_prefix(dec740_win32 WIN32)
  ovn_use_wine_prefix(dec740_simulation_win32 WIN32)
else()
  ovn_use_wine_prefix(dec740_win64)
  ovn_use_wine_prefix(dec740_simulation_win64)
endif()
foreach(binding dec740 dec740_simulation)
  add_test(NAME ${binding}_imports_${own}
           COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${objdump} -DEXE=$<TARGET_FILE:${binding}>
                   -P ${dec740_imports_script})
endforeach()

if(own EQUAL 32 AND TARGET ovnvxd_width64)
  set(width64 ${CMAKE_BINARY_DIR}/width64)
  add_test(NAME dec740_win64
           COMMAND sh ${dec740_script} ${width64}/components/dec740/dec740.exe
                   ${width64}/tests/wine/dec740_device.exe ${width64}/tests/wine/OvnVxdPlanted.dll
                   ${width64}/tests/wine/dec740_planted_control.exe)
  ovn_use_wine_prefix(dec740_win64)
  add_test(NAME dec740_simulation_win64
           COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/dec740_simulation_test.sh
                   ${width64}/components/dec740/simulation/dec740.exe)
  ovn_use_wine_prefix(dec740_simulation_win64)
  foreach(binding dec740 dec740_simulation)
    set(exe ${width64}/components/dec740/dec740.exe)
    if(binding STREQUAL "dec740_simulation")
      set(exe ${width64}/components/dec740/simulation/dec740.exe)
    endif()
    add_test(NAME ${binding}_imports_64
             COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${objdump} -DEXE=${exe} -P ${dec740_imports_script})
  endforeach()
endif()

# Each updater carries its binding's dec740 of both widths as DEVCON32 and DEVCON64, and not the
# other binding's: the product the SetupAPI builds, the simulation build the simulated ones.
set(devcon_script ${CMAKE_CURRENT_LIST_DIR}/check_devcon_resources.cmake)
set(devcon_product -DDEVCON32=${OVN_DEVCON_product_32} -DDEVCON64=${OVN_DEVCON_product_64}
                   -DFOREIGN32=${OVN_DEVCON_simulation_32} -DFOREIGN64=${OVN_DEVCON_simulation_64})
set(devcon_simulation -DDEVCON32=${OVN_DEVCON_simulation_32} -DDEVCON64=${OVN_DEVCON_simulation_64}
                      -DFOREIGN32=${OVN_DEVCON_product_32} -DFOREIGN64=${OVN_DEVCON_product_64})
set(devcon_exe_product $<TARGET_FILE:OvnK740FpgaUpdater>)
set(devcon_exe_simulation $<TARGET_FILE:OvnK740FpgaUpdaterSimulation>)
set(devcon_exe_product_64 ${CMAKE_BINARY_DIR}/width64/OvnK740FpgaUpdater.exe)
set(devcon_exe_simulation_64 ${CMAKE_BINARY_DIR}/width64/simulation/OvnK740FpgaUpdater.exe)
set(devcon_suffixes "")
if(own EQUAL 32 AND TARGET ovnvxd_width64)
  list(APPEND devcon_suffixes _64)
endif()
foreach(suffix "" ${devcon_suffixes})
  foreach(flavour product simulation)
    add_test(NAME updater_devcon_${flavour}${suffix}
             COMMAND ${CMAKE_COMMAND} -DEXE=${devcon_exe_${flavour}${suffix}} ${devcon_${flavour}}
                     -P ${devcon_script})
  endforeach()
endforeach()
