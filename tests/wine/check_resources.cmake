# Checks an elevated program's embedded resources without running it (the updater, the uninstaller):
# cmake -DEXE=path -P check_resources.cmake
# The manifest must ask for administrator rights and the version resource must read 1.0.0.21.
cmake_policy(VERSION 3.25)
foreach(needed [[level="requireAdministrator"]] [[uiAccess="false"]])
  file(STRINGS "${EXE}" found REGEX "${needed}")
  if(NOT found)
    message(FATAL_ERROR "${EXE}: the manifest lacks ${needed}")
  endif()
endforeach()

# VS_FIXEDFILEINFO: signature FEEF04BD, structure version 1.0, then the file version 1.0 and 0.21
# and the product version alike, each as little-endian words high part first.
file(READ "${EXE}" hex HEX)
string(FIND "${hex}" "bd04effe0000010000000100150000000000010015000000" at)
if(at LESS 0)
  message(FATAL_ERROR "${EXE}: no version resource with file and product version 1.0.0.21")
endif()
message(STATUS "${EXE}: manifest and version resource 1.0.0.21 present")
