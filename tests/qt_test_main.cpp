// The widget tests run against the real program objects under the offscreen platform.
#include <gtest/gtest.h>

#include "ui/application_qt.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // No session bus, whatever the desktop the tests run in: the notification-area icon is the
  // one an XEmbed tray hosts (the desktop session tests have the panel on the bus).
  qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
  kestrion::Application app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
