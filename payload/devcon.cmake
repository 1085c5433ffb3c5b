# The device-console tool as the updater's resources "DEVCON32" (the i686 build of dec740) and
# "DEVCON64" (the x86_64 build), included from payload/CMakeLists.txt. This build's own width is its
# dec740 target; the other width comes from the second build of the other toolchain, as the
# driver-access library does: the parent build takes the twin's tools/dec740 outputs, and hands its
# own tools/dec740 directory to the twin (OVN_DEC740_OTHER_DIR).
enable_language(RC)
set(OVN_DEC740_OTHER_DIR "" CACHE PATH
    "tools/dec740 build directory of the other width (set by the parent build of a second width)")
set(ovn_dec740_own_dir ${CMAKE_BINARY_DIR}/tools/dec740)
if(OVN_PAYLOAD_OTHER_LIBRARY)
  if(NOT OVN_DEC740_OTHER_DIR)
    message(FATAL_ERROR "A second-width build needs OVN_DEC740_OTHER_DIR beside OVN_PAYLOAD_OTHER_LIBRARY")
  endif()
  set(ovn_dec740_other_dir ${OVN_DEC740_OTHER_DIR})
else()
  set(ovn_dec740_other_dir ${CMAKE_BINARY_DIR}/width${other_width}/tools/dec740)
endif()
set(ovn_dec740_${own_width}_dir ${ovn_dec740_own_dir})
set(ovn_dec740_${other_width}_dir ${ovn_dec740_other_dir})

# Where each build of dec740 is: OVN_DEVCON_<binding>_<width>, for the checks of tests/wine.
foreach(width 32 64)
  set(OVN_DEVCON_product_${width} ${ovn_dec740_${width}_dir}/dec740.exe CACHE INTERNAL "")
  set(OVN_DEVCON_simulation_${width} ${ovn_dec740_${width}_dir}/simulation/dec740.exe
      CACHE INTERNAL "")
endforeach()

# The twin's outputs that the parent build embeds (byproducts of its external build).
set(OVN_DEC740_TWIN_IMAGES ${ovn_dec740_other_dir}/dec740.exe
                           ${ovn_dec740_other_dir}/simulation/dec740.exe)

# ovn_devcon_resources(library binding): every executable that links library carries the dec740
# builds of binding ("product": the SetupAPI builds; "simulation": the simulated-machine builds).
function(ovn_devcon_resources library binding)
  set(own_target dec740)
  if(binding STREQUAL "simulation")
    set(own_target dec740_simulation)
  endif()
  set(image32 ${OVN_DEVCON_${binding}_32})
  set(image64 ${OVN_DEVCON_${binding}_64})
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/devcon_${binding}.rc)
  file(WRITE ${rc}.tmp "// Generated: the ${binding} builds of dec740; do not edit.\n"
                       "DEVCON32 RCDATA \"${image32}\"\n"
                       "DEVCON64 RCDATA \"${image64}\"\n")
  configure_file(${rc}.tmp ${rc} COPYONLY)
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${image32};${image64}")
  add_library(${library}_devcon OBJECT ${rc})
  add_dependencies(${library}_devcon ${own_target})
  if(TARGET ovnvxd_width${other_width})
    add_dependencies(${library}_devcon ovnvxd_width${other_width})
  endif()
  # Resource objects are linked only when named directly: every consumer gets the object itself.
  target_sources(${library} INTERFACE $<TARGET_OBJECTS:${library}_devcon>)
endfunction()
