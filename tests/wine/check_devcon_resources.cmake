# Checks the device-console tool resources of an updater exe without running it:
#   cmake -DEXE=updater.exe -DDEVCON32=dec740-i686.exe -DDEVCON64=dec740-x86_64.exe
#         [-DFOREIGN32=other.exe] [-DFOREIGN64=other.exe] -P check_devcon_resources.cmake
# Both names must be in the resource directory, each image must be embedded byte for byte, and
# neither FOREIGN image (the other binding's builds) may be.
cmake_policy(VERSION 3.25)
file(READ "${EXE}" exe HEX)

# A resource name is stored as UTF-16LE characters.
function(utf16_hex text out)
  string(HEX "${text}" narrow)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\100" wide "${narrow}")
  set(${out} "${wide}" PARENT_SCOPE)
endfunction()

foreach(name DEVCON32 DEVCON64)
  utf16_hex(${name} wide)
  string(FIND "${exe}" "${wide}" at)
  if(at LESS 0)
    message(FATAL_ERROR "${EXE}: no resource named ${name}")
  endif()
  file(READ "${${name}}" image HEX)
  string(FIND "${exe}" "${image}" at)
  if(at LESS 0)
    message(FATAL_ERROR "${EXE}: ${name} is not the image of ${${name}}")
  endif()
  file(SIZE "${${name}}" size)
  message(STATUS "${EXE}: ${name} holds ${${name}} (${size} bytes)")
endforeach()
foreach(foreign ${FOREIGN32} ${FOREIGN64})
  file(READ "${foreign}" image HEX)
  string(FIND "${exe}" "${image}" at)
  if(NOT at LESS 0)
    message(FATAL_ERROR "${EXE} embeds ${foreign}, which belongs to the other build")
  endif()
endforeach()
