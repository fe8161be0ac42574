# The program's source files, listed once for the main tree, the Windows tree and the fuzz
# tree (fuzz/), relative to the top of the source tree. Files generated into the build folder
# are added where they are made.

# The portable core: every rule of the program, no window system and no <windows.h>.
set(KESTRION_CORE_SOURCES
  app/check_output.cpp
  app/follow.cpp
  bar/about.cpp
  bar/form_main.cpp
  bar/status.cpp
  base/exception.h
  base/exception_display.cpp
  base/text_codec.cpp
  poll/api_error.cpp
  poll/bounded_format.cpp
  poll/poll_thread.cpp
  poll/poll_balance.cpp
  poll/reply_status.cpp
  poll/send_loop.cpp
  settings/encode_url.cpp
  settings_dialog/form_settings.cpp
  settings/reg_file_format.cpp
  settings/reg_file_value.cpp
  settings/registry.cpp
  settings/settings.cpp
  settings/string_table.cpp
  shell/desktop_entry.cpp
  shell/shortcut.cpp
  ui/single_copy.cpp
)

# System calls of the Linux program: POSIX, libcurl, expat, the settings file.
set(KESTRION_LINUX_SOURCES
  app/console_posix.cpp
  app/follow_posix.cpp
  app/library_search_posix.cpp
  base/files_posix.cpp
  poll/connection_check_posix.cpp
  poll/http_get_curl.cpp
  poll/program_poll.cpp
  poll/reply_document_expat.cpp
  poll/thread_priority_posix.cpp
  settings/program_registry_file.cpp
  settings/registry_file.cpp
  shell/shortcut_posix.cpp
)

# The Linux program's windows, in Qt.
set(KESTRION_QT_SOURCES
  app/quit_signals_qt.cpp
  bar/form_about_qt.cpp
  bar/form_main_qt.cpp
  bar/form_main_place_qt.cpp
  bar/window_hints_x11.cpp
  settings_dialog/form_settings_qt.cpp
  ui/application_qt.cpp
  ui/shell_open_qt.cpp
  ui/single_copy_qt.cpp
)

# System calls of the Windows program: the registry, the string table, WinINet, MSXML.
set(KESTRION_WINDOWS_SOURCES
  app/console_win.cpp
  app/follow_win.cpp
  app/library_search_win.cpp
  base/text_win.cpp
  poll/connection_check_win.cpp
  poll/http_get_win.cpp
  poll/program_poll.cpp
  poll/reply_document_msxml.cpp
  poll/thread_priority_win.cpp
  settings/program_registry_win.cpp
  settings/registry_win.cpp
  settings/string_table_win.cpp
  shell/shortcut_win.cpp
)

# The Windows program's windows in plain Win32.
set(KESTRION_WIN_GUI_SOURCES
  bar/form_about_win.cpp
  bar/form_main_menu_win.cpp
  bar/form_main_place_win.cpp
  bar/form_main_win.cpp
  bar/tray_icon_win.cpp
  settings_dialog/form_settings_win.cpp
  ui/application_win.cpp
  ui/dpi_win.cpp
  ui/shell_open_win.cpp
  ui/single_copy_win.cpp
)
