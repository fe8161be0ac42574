# The Windows build's own tests, run under Wine (CMAKE_CROSSCOMPILING_EMULATOR). The test
# billing server is the native one from the Linux build, KESTRION_NATIVE_BIN/kestrion-test-server,
# started around the tests that need it; they find its addresses and its request log in
# KESTRION_SERVER_STATE.

set(KESTRION_NATIVE_BIN "${CMAKE_SOURCE_DIR}/build/bin" CACHE PATH
    "bin folder of the Linux build, which has the test billing server")
set(server_state ${CMAKE_BINARY_DIR}/server-state)

add_test(NAME billing_server_start
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/server/server_fixture.sh start ${server_state}
                 ${KESTRION_NATIVE_BIN}/kestrion-test-server ${KESTRION_TEST_DATA})
add_test(NAME billing_server_stop
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/server/server_fixture.sh stop ${server_state})
set_tests_properties(billing_server_start PROPERTIES FIXTURES_SETUP billing_server)
set_tests_properties(billing_server_stop PROPERTIES FIXTURES_CLEANUP billing_server)

# The 32-bit tree runs only the whole programs, in a 32-bit Wine prefix (tools/wine-run): the
# units are the same code as in the 64-bit tree.
if(NOT KESTRION_WHOLE_PROGRAM_TESTS_ONLY)
  # The Windows platform files against real parts: the loopback server, Wine's registry.
  kestrion_test(win_tests LIBS kestrion_platform
    SLOW HttpGetWin.APollNeverHangsLongerThanItsBound 60  # the 15 s bound itself
    PROPERTIES FIXTURES_REQUIRED billing_server ENVIRONMENT KESTRION_SERVER_STATE=${server_state}
               RESOURCE_LOCK wine_registry  # as check_command and the rest below
    SOURCES
    test_data.cpp
    poll/connection_check_win_test.cpp
    poll/http_get_win_test.cpp
    poll/reply_vectors_test.cpp
    settings/registry_win_test.cpp
    settings/string_table_win_test.cpp
    win_test_support.cpp
  )

  # The real windows, created in Wine with an X server behind it, checked through Win32 and,
  # as a screen reader reads them, through Active Accessibility (oleacc: the tests' own).
  kestrion_test(win_gui_tests OWN_MAIN DISPLAY LIBS kestrion_win_gui oleacc
    PROPERTIES RESOURCE_LOCK wine_registry SOURCES
    win_gui_test_main.cpp
    bar/form_about_win_test.cpp
    bar/form_main_win_test.cpp
    settings_dialog/form_settings_win_test.cpp
    shell/shortcut_win_test.cpp
  )
  target_compile_definitions(win_gui_tests PRIVATE KESTRION_IMAGES="${CMAKE_SOURCE_DIR}/resources/images"
                             KESTRION_PLANTED_LIBRARY="$<TARGET_FILE:refusing_library>")
  add_dependencies(win_gui_tests refusing_library)
endif()

# kestrion-check.exe as a user runs it under Wine, its settings put in with regedit; once
# with a wininet.dll planted beside it that must never be loaded.
add_library(refusing_library SHARED support/refusing_library.cpp)
set_target_properties(refusing_library PROPERTIES PREFIX "" OUTPUT_NAME wininet
                      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/planted)
target_link_options(refusing_library PRIVATE -static)
add_test(NAME check_command
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/support/with_display.sh
                 bash ${CMAKE_CURRENT_SOURCE_DIR}/app/check_command_test.sh
                 $<TARGET_FILE:kestrion-check> ${KESTRION_NATIVE_BIN}/kestrion-test-server
                 ${KESTRION_TEST_DATA} ${CMAKE_SOURCE_DIR}/tools/wine-run
                 $<TARGET_FILE:refusing_library>)

# kestrion.exe as a whole, asked from outside as the shell and the system ask it.
add_executable(bar_probe support/bar_probe.cpp)
target_include_directories(bar_probe PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(bar_probe PRIVATE ole32 uuid psapi)
add_test(NAME win_desktop
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/support/with_display.sh
                 bash ${CMAKE_CURRENT_SOURCE_DIR}/app/desktop_win_test.sh
                 ${CMAKE_SOURCE_DIR}/tools/wine-run $<TARGET_FILE:kestrion>
                 $<TARGET_FILE:bar_probe> ${server_state})
set_tests_properties(win_desktop PROPERTIES FIXTURES_REQUIRED billing_server)
# Wine's desktop belongs to the wine server and to the X server of the program that made it;
# one made with no X server (by regedit, say) would refuse the windows of every case that
# starts before that wine server ends, so the scripts run with an X server too.
# They all change HKCU\Software\Kestrion in the one Wine prefix, as do the cases of win_tests
# and win_gui_tests (their RESOURCE_LOCK above).
set_tests_properties(check_command win_desktop PROPERTIES TIMEOUT 300 RESOURCE_LOCK wine_registry)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)  # as the emulator (cmake/mingw-w64-posix.cmake)
  set_property(TEST check_command win_desktop APPEND PROPERTY ENVIRONMENT WINEARCH=win32)
endif()

# Both programs start on Windows 7 SP1: nothing newer is imported at load time.
add_test(NAME windows7_imports
         COMMAND bash ${CMAKE_SOURCE_DIR}/tools/check-imports ${CMAKE_OBJDUMP}
                 $<TARGET_FILE:kestrion> $<TARGET_FILE:kestrion-check>)
if(KESTRION_WHOLE_PROGRAM_TESTS_ONLY)
  return()
endif()

# The windows at 120, 144 and 192 dpi, in a Wine prefix of their own.
add_test(NAME win_dpi
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/support/with_display.sh
                 bash ${CMAKE_CURRENT_SOURCE_DIR}/app/dpi_win_test.sh
                 ${CMAKE_SOURCE_DIR}/tools/wine-run $<TARGET_FILE:win_gui_tests>
                 ${CMAKE_BINARY_DIR}/wineprefix-dpi)
set_tests_properties(win_dpi PROPERTIES TIMEOUT 300)

# The zip of make package-win, unpacked: how the programs of both widths are built and what
# they load.
add_test(NAME package COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/support/with_display.sh
                              bash ${CMAKE_CURRENT_SOURCE_DIR}/package_test.sh
                              ${CMAKE_BINARY_DIR} ${PROJECT_VERSION}
                              ${CMAKE_SOURCE_DIR}/tools/wine-run ${KESTRION_WIN32_BIN})

set_tests_properties(package PROPERTIES TIMEOUT 300)

# The setup program and its uninstaller, signed with a throwaway certificate, in a Wine
# prefix of their own under the build folder.
add_test(NAME setup
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/support/with_display.sh
                 bash ${CMAKE_CURRENT_SOURCE_DIR}/app/setup_win_test.sh
                 ${CMAKE_SOURCE_DIR}/tools/wine-run ${CMAKE_BINARY_DIR}/CPackConfig.cmake
                 $<TARGET_FILE:bar_probe> ${server_state} ${CMAKE_BINARY_DIR}/setup-test
                 ${PROJECT_VERSION})
set_tests_properties(setup PROPERTIES FIXTURES_REQUIRED billing_server TIMEOUT 300
                                       RESOURCE_LOCK stalled_login)
# Both count the server's requests for the login it leaves unanswered.
set_property(TEST win_desktop APPEND PROPERTY RESOURCE_LOCK stalled_login)
