// The widget tests run against the real program objects under the offscreen platform.
#include <gtest/gtest.h>

#include "ui/application_qt.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  kestrion::Application app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
