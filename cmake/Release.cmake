# What makes a shipped program (the app, installer_x86.exe, installer_x64.exe) a release binary:
#   - no symbols or debug sections (they held most of each installer's bytes, build paths with them);
#   - the PE time stamp of VELMOR_SOURCE_DATE_EPOCH (scripts/build.sh: SOURCE_DATE_EPOCH or the commit
#     time), so two builds of one commit give the same bytes;
#   - an Authenticode signature when the vendor supplies a certificate (VELMOR_SIGN_*), made right after
#     the link, so that the app embeds the signed installers and is signed itself after.
set(VELMOR_SOURCE_DATE_EPOCH "" CACHE STRING "PE time stamp of the shipped programs (seconds since 1970)")
set(VELMOR_SIGN_PKCS12 "" CACHE FILEPATH "Authenticode certificate and key, PKCS#12")
set(VELMOR_SIGN_CERT "" CACHE FILEPATH "Authenticode certificate (chain), PEM; with VELMOR_SIGN_KEY")
set(VELMOR_SIGN_KEY "" CACHE FILEPATH "Authenticode private key, PEM; with VELMOR_SIGN_CERT")
set(VELMOR_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File holding the key's password (optional)")
set(VELMOR_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamp server (optional)")

if(VELMOR_SIGN_PKCS12 AND (VELMOR_SIGN_CERT OR VELMOR_SIGN_KEY))
  message(FATAL_ERROR "Sign with VELMOR_SIGN_PKCS12 or with VELMOR_SIGN_CERT and VELMOR_SIGN_KEY, not both")
endif()
if((VELMOR_SIGN_CERT AND NOT VELMOR_SIGN_KEY) OR (VELMOR_SIGN_KEY AND NOT VELMOR_SIGN_CERT))
  message(FATAL_ERROR "VELMOR_SIGN_CERT and VELMOR_SIGN_KEY go together")
endif()
set(velmor_sign_args "")
if(VELMOR_SIGN_PKCS12)
  set(velmor_sign_args -pkcs12 ${VELMOR_SIGN_PKCS12})
elseif(VELMOR_SIGN_CERT)
  set(velmor_sign_args -certs ${VELMOR_SIGN_CERT} -key ${VELMOR_SIGN_KEY})
endif()
if(velmor_sign_args)
  find_program(VELMOR_OSSLSIGNCODE osslsigncode REQUIRED)
  foreach(file IN ITEMS ${VELMOR_SIGN_PKCS12} ${VELMOR_SIGN_CERT} ${VELMOR_SIGN_KEY} ${VELMOR_SIGN_PASSWORD_FILE})
    if(NOT EXISTS "${file}")
      message(FATAL_ERROR "Signing file ${file} does not exist")
    endif()
  endforeach()
  if(VELMOR_SIGN_PASSWORD_FILE)
    list(APPEND velmor_sign_args -readpass ${VELMOR_SIGN_PASSWORD_FILE})
  endif()
  if(VELMOR_SIGN_TIMESTAMP_URL)
    list(APPEND velmor_sign_args -ts ${VELMOR_SIGN_TIMESTAMP_URL})
  endif()
  list(APPEND velmor_sign_args -h sha256 -n "Velmor Korvex driver installer")
endif()

function(velmor_release_program target)
  target_link_options(${target} PRIVATE -s)
  if(VELMOR_SOURCE_DATE_EPOCH)
    # GNU ld stamps PE files with SOURCE_DATE_EPOCH when it is set.
    set_property(TARGET ${target} PROPERTY RULE_LAUNCH_LINK
                 "${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${VELMOR_SOURCE_DATE_EPOCH}")
  endif()
  if(velmor_sign_args)
    set(file $<TARGET_FILE:${target}>)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E rm -f ${file}.signed
      COMMAND ${VELMOR_OSSLSIGNCODE} sign ${velmor_sign_args} -in ${file} -out ${file}.signed
      COMMAND ${CMAKE_COMMAND} -E rename ${file}.signed ${file}
      COMMENT "Signing ${target}"
      VERBATIM)
  endif()
endfunction()
