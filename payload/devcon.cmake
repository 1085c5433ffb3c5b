# The device-console tool as the updater's resources "DEVCON32" (the i686 build of dec740) and
# "DEVCON64" (the x86_64 build), included from payload/CMakeLists.txt. Both dec740 builds of this
# width travel to the other width's build as own images, like the driver-access library, so each
# width's updater carries both. The product carries the SetupAPI builds, the simulation build the
# simulated-machine builds.

# Registers this width's dec740 builds as own images; called before ovn_own_images is defined.
macro(ovn_devcon_own_images)
  ovn_own_image(product dec740.exe $<TARGET_FILE:dec740> dec740)
  ovn_own_image(simulation dec740.sim.exe $<TARGET_FILE:dec740_simulation> dec740_simulation)
endmacro()

# ovn_devcon_resources(flavour image-name): the object library ovn_devcon_<flavour> holding the
# resources; an updater exe links it directly (a resource object in a static library would be left
# out). OVN_DEVCON_<flavour>_<width> name the embedded files for the checks of tests/wine.
function(ovn_devcon_resources flavour name)
  enable_language(RC)
  ovn_image_path(image32 ${name} 32)
  ovn_image_path(image64 ${name} 64)
  ovn_flavour_image(image32 ${flavour} ${image32} dec740-32.exe ovn_own_images_${flavour}
                    ${other_depends})
  ovn_flavour_image(image64 ${flavour} ${image64} dec740-64.exe ovn_own_images_${flavour}
                    ${other_depends})
  # The resource compiler reads the images: the product's signed copies are made first.
  set(sign_first)
  if(flavour STREQUAL "product" AND OVN_SIGNING)
    add_custom_target(ovn_devcon_signed DEPENDS ${image32} ${image64})
    set(sign_first ovn_devcon_signed)
  endif()
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/devcon_${flavour}.rc)
  file(WRITE ${rc}.tmp "// Generated: the ${flavour} builds of dec740; do not edit.\n"
                       "DEVCON32 RCDATA \"${image32}\"\n"
                       "DEVCON64 RCDATA \"${image64}\"\n")
  configure_file(${rc}.tmp ${rc} COPYONLY)
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${image32};${image64}")
  add_library(ovn_devcon_${flavour} OBJECT ${rc})
  add_dependencies(ovn_devcon_${flavour} ovn_own_images_${flavour} ${other_depends} ${sign_first})
  set(OVN_DEVCON_${flavour}_32 ${image32} CACHE INTERNAL "")
  set(OVN_DEVCON_${flavour}_64 ${image64} CACHE INTERNAL "")
endfunction()
