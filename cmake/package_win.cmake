# Run by CPack once it has staged (and stripped) the zip's files, before it packs them: strips
# the 32-bit programs, which come from the other tree and so past CPack's stripping, signs the
# four programs when a certificate is given (cmake/sign.cmake), then makes the setup program
# from the same files, kestrion-<version>-setup.exe beside the zip.
set(stage "${CPACK_TEMPORARY_DIRECTORY}")
set(sign_script "${CPACK_KESTRION_SOURCE_DIR}/cmake/sign.cmake")
foreach(program IN ITEMS kestrion.exe kestrion-check.exe)
  execute_process(COMMAND "${CPACK_KESTRION_STRIP}" ${stage}/x86/${program}
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
foreach(program IN ITEMS x64/kestrion.exe x64/kestrion-check.exe x86/kestrion.exe
                         x86/kestrion-check.exe)
  execute_process(COMMAND "${CMAKE_COMMAND}" -DFILE=${stage}/${program}
                          -DURL=${CPACK_KESTRION_MAKER_WEB} -P "${sign_script}"
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()

if(NOT CPACK_KESTRION_MAKENSIS)
  message(FATAL_ERROR "makensis is missing; it comes with the Debian package nsis (tools/bootstrap)")
endif()
set(setup "${CPACK_PACKAGE_DIRECTORY}/kestrion-${CPACK_PACKAGE_VERSION}-setup.exe")
set(defines -DVERSION=${CPACK_PACKAGE_VERSION} -DSTAGE=${stage} -DOUTFILE=${setup}
            -DICON=${CPACK_KESTRION_SOURCE_DIR}/resources/images/ico/kestrion.ico
            "-DPUBLISHER=${CPACK_PACKAGE_VENDOR}" -DWEB=${CPACK_KESTRION_MAKER_WEB})
if(NOT "$ENV{SIGN_PKCS12}" STREQUAL "")
  list(APPEND defines "-DSIGN=\"${CMAKE_COMMAND}\" -DFILE=%1 -DURL=${CPACK_KESTRION_MAKER_WEB} -P \"${sign_script}\"")
endif()
execute_process(COMMAND "${CPACK_KESTRION_MAKENSIS}" -V2 -INPUTCHARSET UTF8 ${defines}
                        "${CPACK_KESTRION_SOURCE_DIR}/resources/windows/setup.nsi"
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "makensis could not make the setup program:\n${output}")
endif()
message(STATUS "Setup program ${setup} generated.")
