# The real driver-access components under Wine and as built images: the probe of OvnVxd.sys's
# requests, the product exe's run (installation, service, no card), the uninstaller, and the
# build checks of exports, subsystems, imports and embedded images. Included from CMakeLists.txt.
add_executable(ovnvxd_probe ${CMAKE_CURRENT_LIST_DIR}/ovnvxd_probe_win.cpp
               ${PROJECT_SOURCE_DIR}/tools/ovnvxd/ovnvxd_device_win.cpp)
target_link_libraries(ovnvxd_probe PRIVATE ovn_ovnvxd_client ovn_options advapi32)
if(TARGET ovn_other_width)
  add_dependencies(ovn_other_width ovnvxd_probe)
  return()
endif()
