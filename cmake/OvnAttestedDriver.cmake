# The attested 64-bit driver is checked before the product embeds it: its Authenticode signature must
# verify and its version resource must carry the build's version, so that an unsigned driver or one
# returned for another version never ships. Included by OvnSigning.cmake (the check at configure),
# and run as a script at build time, which checks the file again and copies it to be embedded:
#   cmake -DOSSLSIGNCODE=.. [-DCAFILE=..] -DVERSION=a.b.c.d -DINPUT=.. -DOUTPUT=.. -P OvnAttestedDriver.cmake
cmake_policy(VERSION 3.25)

# ovn_pe_file_version(file out): the file version of the image's VS_FIXEDFILEINFO as "a.b.c.d";
# empty when the image has no version resource.
function(ovn_pe_file_version file out)
  set(${out} "" PARENT_SCOPE)
  file(READ "${file}" hex HEX)
  string(LENGTH "${hex}" length)
  set(from 0)
  # The structure's signature FEEF04BD, little-endian, at a whole byte.
  while(TRUE)
    string(SUBSTRING "${hex}" ${from} -1 rest)
    string(FIND "${rest}" "bd04effe" at)
    if(at LESS 0)
      return()
    endif()
    math(EXPR at "${from} + ${at}")
    math(EXPR odd "${at} % 2")
    if(odd EQUAL 0)
      break()
    endif()
    math(EXPR from "${at} + 1")
  endwhile()
  # Signature and structure version, then dwFileVersionMS and dwFileVersionLS: each a little-endian
  # double word whose high word is the first part of its pair.
  math(EXPR end "${at} + 32")
  if(end GREATER length)
    return()
  endif()
  set(parts)
  foreach(offset 20 16 28 24)
    math(EXPR word_at "${at} + ${offset}")
    string(SUBSTRING "${hex}" ${word_at} 4 word)
    string(SUBSTRING "${word}" 0 2 low)
    string(SUBSTRING "${word}" 2 2 high)
    math(EXPR value "0x${high}${low}")
    list(APPEND parts ${value})
  endforeach()
  list(JOIN parts "." version)
  set(${out} "${version}" PARENT_SCOPE)
endfunction()

# ovn_check_attested_driver(file osslsigncode cafile version timestamped_var): stops with a message
# naming what is wrong; sets timestamped_var to whether the signature carries a time stamp. cafile
# (may be empty: osslsigncode's default bundle) holds the certificates the signature and its time
# stamp must chain to.
function(ovn_check_attested_driver file osslsigncode cafile version timestamped_var)
  set(trust)
  if(cafile)
    set(trust -CAfile "${cafile}" -TSA-CAfile "${cafile}")
  endif()
  execute_process(COMMAND "${osslsigncode}" verify ${trust} -in "${file}"
                  RESULT_VARIABLE rc OUTPUT_VARIABLE said ERROR_VARIABLE said)
  if(NOT rc EQUAL 0)
    if(said MATCHES "No signature found")
      set(why "it carries no Authenticode signature")
    else()
      set(why "its Authenticode signature does not verify")
      if(cafile)
        string(APPEND why " against ${cafile}")
      endif()
    endif()
    message(FATAL_ERROR "OVN_ATTESTED_DRIVER64: ${file} is not embedded: ${why} (osslsigncode verify "
                        "exit ${rc}):\n${said}")
  endif()
  ovn_pe_file_version("${file}" found)
  if(NOT found)
    message(FATAL_ERROR "OVN_ATTESTED_DRIVER64: ${file} is not embedded: it has no version resource, "
                        "so it cannot be told to be the driver of version ${version}")
  endif()
  if(NOT found STREQUAL version)
    message(FATAL_ERROR "OVN_ATTESTED_DRIVER64: ${file} is not embedded: it is version ${found}, "
                        "this build is version ${version} (a driver returned for another build)")
  endif()
  if(said MATCHES "Timestamp is not available")
    set(${timestamped_var} FALSE PARENT_SCOPE)
  else()
    set(${timestamped_var} TRUE PARENT_SCOPE)
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  foreach(var OSSLSIGNCODE VERSION INPUT OUTPUT)
    if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
      message(FATAL_ERROR "OvnAttestedDriver.cmake needs ${var}")
    endif()
  endforeach()
  # A file that fails leaves no copy behind, so the next build checks it again.
  file(REMOVE "${OUTPUT}")
  ovn_check_attested_driver("${INPUT}" "${OSSLSIGNCODE}" "${CAFILE}" "${VERSION}" timestamped)
  file(COPY_FILE "${INPUT}" "${OUTPUT}.checked")
  file(RENAME "${OUTPUT}.checked" "${OUTPUT}")
endif()
