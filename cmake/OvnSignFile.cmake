# Signs one PE image with Authenticode (SHA-256): cmake -DOSSLSIGNCODE=.. -DPFX=.. -DPASSWORD_FILE=..
#   -DINPUT=.. -DOUTPUT=.. [-DDESCRIPTION=..] [-DTIMESTAMP_URL=..] -P OvnSignFile.cmake
# OUTPUT may be INPUT (signing in place). On failure OUTPUT is removed, so that a half-finished or
# unsigned file is never taken for a signed one and the next build makes it again.
cmake_policy(VERSION 3.25)
foreach(var OSSLSIGNCODE PFX PASSWORD_FILE INPUT OUTPUT)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "OvnSignFile.cmake needs ${var}")
  endif()
endforeach()

set(temp "${OUTPUT}.signing")
file(REMOVE "${temp}")
set(args sign -pkcs12 "${PFX}" -readpass "${PASSWORD_FILE}" -h sha256)
if(DESCRIPTION)
  list(APPEND args -n "${DESCRIPTION}")
endif()
if(TIMESTAMP_URL)
  list(APPEND args -ts "${TIMESTAMP_URL}")
endif()
execute_process(COMMAND "${OSSLSIGNCODE}" ${args} -in "${INPUT}" -out "${temp}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT EXISTS "${temp}")
  file(REMOVE "${temp}" "${OUTPUT}")
  message(FATAL_ERROR "osslsigncode could not sign ${INPUT} (exit ${rc}):\n${out}")
endif()
file(RENAME "${temp}" "${OUTPUT}")
