# OvnVxd.dll of this build's width and OvnVxd.sys of both widths. Included from CMakeLists.txt.

# The library: the six exports, the client and the device transport. Static runtime, so that it
# imports only system libraries that the loader takes from the system directory.
add_library(ovnvxd_library SHARED ovnvxd_exports_win.cpp ovnvxd_device_win.cpp)
target_link_libraries(ovnvxd_library PRIVATE ovn_ovnvxd_client ovn_options advapi32)
target_compile_definitions(ovnvxd_library PRIVATE OVNVXD_BUILDING_LIBRARY)
set_target_properties(ovnvxd_library PROPERTIES
  PREFIX "" OUTPUT_NAME OvnVxd
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/library)
target_link_options(ovnvxd_library PRIVATE -s)

# The kernel driver, both widths, built with the C compilers alone (the DDK headers do not build
# as C++).
set(OVN_MINGW32_DRIVER_CC i686-w64-mingw32-gcc-posix CACHE STRING "i686 C compiler for the kernel driver")
set(OVN_MINGW64_DRIVER_CC x86_64-w64-mingw32-gcc-posix CACHE STRING "x86_64 C compiler for the kernel driver")
set(driver_sources ${CMAKE_CURRENT_SOURCE_DIR}/ovnvxd_driver.c ${CMAKE_CURRENT_SOURCE_DIR}/ovnvxd_core.c
                   ${CMAKE_CURRENT_SOURCE_DIR}/ovnvxd_pci.c)
set(driver_headers ${CMAKE_CURRENT_SOURCE_DIR}/ovnvxd_core.h ${CMAKE_CURRENT_SOURCE_DIR}/ovnvxd_protocol.h
                   ${CMAKE_CURRENT_SOURCE_DIR}/ovnvxd_grant.h ${CMAKE_CURRENT_SOURCE_DIR}/ovnvxd_guard.h
                   ${CMAKE_CURRENT_SOURCE_DIR}/ovnvxd_status.h)
set(driver_flags -std=c11 -O2 -Wall -Wextra -Werror -Werror=incompatible-pointer-types
                 -nostdlib -shared -Wl,--subsystem,native -Wl,--wdmdriver -s)
# payload/CMakeLists.txt takes the product's drivers from here.
set(OVNVXD_DRIVER_DIR ${CMAKE_CURRENT_BINARY_DIR}/driver)
# The build's version in a version resource, which an attested driver is checked against.
set(driver_rc ${CMAKE_CURRENT_BINARY_DIR}/ovnvxd_driver.rc)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/ovnvxd_driver.rc.in ${driver_rc} @ONLY)

# ovnvxd_driver_image(out triple compiler entry guard [flags...]): guard is the width's
# OvnVxdGuardedCall (assembly, for the structured-exception handling that GCC's C lacks).
function(ovnvxd_driver_image out triple compiler entry guard)
  set(guard_source ${CMAKE_CURRENT_SOURCE_DIR}/ovnvxd_guard_${guard}.S)
  set(resources ${CMAKE_CURRENT_BINARY_DIR}/${out}.res.o)
  add_custom_command(
    OUTPUT ${OVNVXD_DRIVER_DIR}/${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${OVNVXD_DRIVER_DIR}
    COMMAND ${triple}-windres ${driver_rc} -o ${resources}
    COMMAND ${compiler} ${driver_flags} ${ARGN} -I/usr/${triple}/include/ddk -I${PROJECT_SOURCE_DIR}
            ${driver_sources} ${guard_source} ${resources} -Wl,--entry,${entry}
            -o ${OVNVXD_DRIVER_DIR}/${out} -lntoskrnl -lhal
    DEPENDS ${driver_sources} ${guard_source} ${driver_headers} ${driver_rc}
    COMMENT "Kernel driver ${out}"
    VERBATIM)
endfunction()

# i686 needs the decorated entry name: without the underscore the entry point is silently 0.
ovnvxd_driver_image(OvnVxd32.sys i686-w64-mingw32 ${OVN_MINGW32_DRIVER_CC} _DriverEntry@8 i686)
ovnvxd_driver_image(OvnVxd64.sys x86_64-w64-mingw32 ${OVN_MINGW64_DRIVER_CC} DriverEntry x86_64
                    -mno-red-zone)
add_custom_target(ovnvxd_kernel_driver ALL
  DEPENDS ${OVNVXD_DRIVER_DIR}/OvnVxd32.sys ${OVNVXD_DRIVER_DIR}/OvnVxd64.sys)
