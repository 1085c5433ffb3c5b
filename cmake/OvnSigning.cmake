# Authenticode signing of the shipped Windows images with osslsigncode, when OVN_SIGN_PFX names a key.
# Inner images are signed as copies before they are embedded; the product exe is signed in place
# after it is linked.
set(OVN_SIGN_PFX "" CACHE FILEPATH "PKCS#12 file with the code-signing certificate and key; empty: nothing is signed")
set(OVN_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File whose first line is the PFX password")
set(OVN_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamp server; empty: signatures carry no time stamp")
set(OVN_SIGN_DESCRIPTION "Orvane K740 FPGA Update Utility" CACHE STRING "Description in every signature")
set(OVN_ATTESTED_DRIVER64 "" CACHE FILEPATH
    "OvnVxd64.sys as Microsoft returned it from attestation signing: checked, then embedded as it is")
set(OVN_ATTESTED_CAFILE "" CACHE FILEPATH
    "PEM certificates the attested driver's signature and time stamp must chain to; empty: osslsigncode's default bundle")

set(OVN_SIGNING OFF)
set(OVN_SIGN_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/OvnSignFile.cmake)
if(NOT WIN32)
  # The host edition builds no Windows images.
elseif(OVN_SIGN_PFX)
  if(NOT EXISTS "${OVN_SIGN_PFX}")
    message(FATAL_ERROR "OVN_SIGN_PFX: ${OVN_SIGN_PFX} does not exist")
  endif()
  if(NOT OVN_SIGN_PASSWORD_FILE OR NOT EXISTS "${OVN_SIGN_PASSWORD_FILE}")
    message(FATAL_ERROR "OVN_SIGN_PFX needs OVN_SIGN_PASSWORD_FILE, a file holding the PFX password")
  endif()
  find_program(OVN_OSSLSIGNCODE osslsigncode)
  if(NOT OVN_OSSLSIGNCODE)
    message(FATAL_ERROR "OVN_SIGN_PFX is set but osslsigncode is missing (scripts/setup.sh installs it)")
  endif()
  set(OVN_SIGNING ON)
  message(STATUS "Signing the shipped images with ${OVN_SIGN_PFX} (SHA-256)")
elseif(NOT OVN_PAYLOAD_OTHER_DIR)
  # The second-width build ships nothing of its own, so only the top build says it.
  message(STATUS "Not signing: OVN_SIGN_PFX is not set, every image stays unsigned")
endif()

set(OVN_ATTESTED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/OvnAttestedDriver.cmake)
if(WIN32 AND OVN_ATTESTED_DRIVER64)
  if(NOT EXISTS "${OVN_ATTESTED_DRIVER64}")
    message(FATAL_ERROR "OVN_ATTESTED_DRIVER64: ${OVN_ATTESTED_DRIVER64} does not exist")
  endif()
  if(OVN_ATTESTED_CAFILE AND NOT EXISTS "${OVN_ATTESTED_CAFILE}")
    message(FATAL_ERROR "OVN_ATTESTED_CAFILE: ${OVN_ATTESTED_CAFILE} does not exist")
  endif()
  find_program(OVN_OSSLSIGNCODE osslsigncode)
  if(NOT OVN_OSSLSIGNCODE)
    message(FATAL_ERROR "OVN_ATTESTED_DRIVER64 is checked with osslsigncode, which is missing (scripts/setup.sh installs it)")
  endif()
  # Checked now for an early answer, and again by the build (payload/CMakeLists.txt) whenever the
  # file changes.
  include(${OVN_ATTESTED_SCRIPT})
  ovn_check_attested_driver("${OVN_ATTESTED_DRIVER64}" "${OVN_OSSLSIGNCODE}" "${OVN_ATTESTED_CAFILE}"
                            "${PROJECT_VERSION}" timestamped)
  if(NOT timestamped)
    message(WARNING "OVN_ATTESTED_DRIVER64: the signature of ${OVN_ATTESTED_DRIVER64} carries no time "
                    "stamp, so it stops being valid when its certificate expires")
  endif()
  message(STATUS "The product embeds the attested ${OVN_ATTESTED_DRIVER64} (version ${PROJECT_VERSION}, "
                 "signature verified) as its 64-bit driver")
endif()

# Arguments of OvnSignFile.cmake that every signature shares. The password travels as the name of
# its file, so no command line in a build log holds it.
set(OVN_SIGN_ARGS -DOSSLSIGNCODE=${OVN_OSSLSIGNCODE} -DPFX=${OVN_SIGN_PFX}
                  -DPASSWORD_FILE=${OVN_SIGN_PASSWORD_FILE} "-DDESCRIPTION=${OVN_SIGN_DESCRIPTION}"
                  -DTIMESTAMP_URL=${OVN_SIGN_TIMESTAMP_URL})

# ovn_signed_copy(var input output [depends...]): var names the file to embed in place of input:
# with signing on, output, a signed copy made by a custom command; otherwise input itself.
function(ovn_signed_copy var input output)
  if(NOT OVN_SIGNING)
    set(${var} ${input} PARENT_SCOPE)
    return()
  endif()
  get_filename_component(name ${output} NAME)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} ${OVN_SIGN_ARGS} -DINPUT=${input} -DOUTPUT=${output} -P ${OVN_SIGN_SCRIPT}
    DEPENDS ${input} ${ARGN} ${OVN_SIGN_PFX} ${OVN_SIGN_PASSWORD_FILE} ${OVN_SIGN_SCRIPT}
    COMMENT "Signing ${name}"
    VERBATIM)
  set(${var} ${output} PARENT_SCOPE)
endfunction()

# ovn_sign_target(target): with signing on, the target's file is signed right after it is linked,
# and a new key relinks it (so it is signed again).
function(ovn_sign_target target)
  if(NOT OVN_SIGNING)
    return()
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} ${OVN_SIGN_ARGS} -DINPUT=$<TARGET_FILE:${target}>
            -DOUTPUT=$<TARGET_FILE:${target}> -P ${OVN_SIGN_SCRIPT}
    COMMENT "Signing $<TARGET_FILE_NAME:${target}>"
    VERBATIM)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${OVN_SIGN_PFX} ${OVN_SIGN_PASSWORD_FILE}
                                                              ${OVN_SIGN_SCRIPT})
endfunction()
