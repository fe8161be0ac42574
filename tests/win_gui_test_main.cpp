// The Windows windows, created for real in Wine with an X server behind it.
#include <objbase.h>
#include <windows.h>

#include <gtest/gtest.h>

#include "ui/application_win.h"

int main(int argc, char** argv) {
  CoInitialize(nullptr);
  kestrion::InitApplication(GetModuleHandleW(nullptr));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
