# Signs one Windows program in place with Authenticode, when a certificate is given:
#   cmake -DFILE=<program> -P cmake/sign.cmake
# The certificate and its key come from the PKCS#12 file $SIGN_PKCS12, its password from the
# file $SIGN_PASSWORD_FILE (none when unset); a time stamp is asked of the RFC 3161 server
# $SIGN_TIMESTAMP_URL only when one is named. Without $SIGN_PKCS12 it does nothing.
if(NOT DEFINED FILE)
  message(FATAL_ERROR "sign.cmake: no FILE given")
endif()
if("$ENV{SIGN_PKCS12}" STREQUAL "")
  return()
endif()
find_program(osslsigncode osslsigncode REQUIRED)
set(command ${osslsigncode} sign -pkcs12 "$ENV{SIGN_PKCS12}" -h sha256 -n Kestrion)
if(NOT "$ENV{SIGN_PASSWORD_FILE}" STREQUAL "")
  list(APPEND command -readpass "$ENV{SIGN_PASSWORD_FILE}")
endif()
if(NOT "$ENV{SIGN_TIMESTAMP_URL}" STREQUAL "")
  list(APPEND command -ts "$ENV{SIGN_TIMESTAMP_URL}")
endif()
if(NOT "${URL}" STREQUAL "")
  list(APPEND command -i "${URL}")
endif()
file(REMOVE "${FILE}.signed")
execute_process(COMMAND ${command} -in "${FILE}" -out "${FILE}.signed"
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  file(REMOVE "${FILE}.signed")
  message(FATAL_ERROR "sign.cmake: osslsigncode could not sign ${FILE}:\n${output}")
endif()
file(RENAME "${FILE}.signed" "${FILE}")
