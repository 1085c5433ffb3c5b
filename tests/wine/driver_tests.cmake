# The real driver-access components under Wine and as built images: the probe of OvnVxd.sys's
# requests, the product exe's run (installation, service, no card), the uninstaller, and the
# build checks of exports, subsystems, imports and embedded images. Included from CMakeLists.txt.
add_executable(ovnvxd_probe ${CMAKE_CURRENT_LIST_DIR}/ovnvxd_probe_win.cpp
               ${PROJECT_SOURCE_DIR}/components/ovnvxd/ovnvxd_device_win.cpp)
target_link_libraries(ovnvxd_probe PRIVATE ovn_ovnvxd_client ovn_options advapi32)
if(TARGET ovn_other_width)
  add_dependencies(ovn_other_width ovnvxd_probe)
  return()
endif()

set(driver_script ${CMAKE_CURRENT_LIST_DIR}/driver_test.sh)
set(product_images ${OVN_PAYLOAD_IMAGES}/product)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(own_arch win64)
else()
  set(own_arch win32)
endif()
add_test(NAME driver_${own_arch}
         COMMAND sh ${driver_script} ${own_arch} $<TARGET_FILE:OvnK740FpgaUpdater>
                 $<TARGET_FILE:ovnvxd_probe> ${product_images})
set_tests_properties(driver_${own_arch} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 900
                                                     RESOURCE_LOCK wine)
# The uninstaller runs elevated too: its manifest asks for administrator rights.
add_test(NAME uninstaller_resources
         COMMAND ${CMAKE_COMMAND} -DEXE=$<TARGET_FILE:OvnVxdUninstall>
                 -P ${CMAKE_CURRENT_LIST_DIR}/check_resources.cmake)

if(own_arch STREQUAL "win32" AND TARGET ovnvxd_width64)
  # The 64-bit product with the x86_64 driver in a 64-bit prefix (a driver's width must match the
  # process that starts it), and the build checks of both widths' images.
  set(width64 ${CMAKE_BINARY_DIR}/width64)
  add_test(NAME driver_win64
           COMMAND sh ${driver_script} win64 ${width64}/OvnK740FpgaUpdater.exe
                   ${width64}/tests/wine/ovnvxd_probe.exe ${width64}/payload/images/product)
  set_tests_properties(driver_win64 PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 900
                                                 RESOURCE_LOCK wine)
  # A signed build embeds signed copies, not the files built here; the signing test checks those.
  set(product_check -DPRODUCT_IMAGES=${product_images})
  if(OVN_SIGNING OR OVN_ATTESTED_DRIVER64)
    set(product_check)
  endif()
  add_test(NAME driver_images
           COMMAND ${CMAKE_COMMAND} -DOBJDUMP32=i686-w64-mingw32-objdump
                   -DOBJDUMP64=x86_64-w64-mingw32-objdump
                   -DLIBRARY32=$<TARGET_FILE:ovnvxd_library>
                   -DLIBRARY64=${width64}/payload/own/OvnVxd.dll
                   -DDRIVER32=${CMAKE_BINARY_DIR}/components/ovnvxd/driver/OvnVxd32.sys
                   -DDRIVER64=${CMAKE_BINARY_DIR}/components/ovnvxd/driver/OvnVxd64.sys
                   -DUNINSTALLER=$<TARGET_FILE:OvnVxdUninstall>
                   ${product_check} -DSIMULATION_IMAGES=${OVN_PAYLOAD_IMAGES}
                   -P ${CMAKE_CURRENT_LIST_DIR}/check_driver_images.cmake)
endif()
