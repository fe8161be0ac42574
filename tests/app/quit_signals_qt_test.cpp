// The quit signals reach the user-interface loop.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <csignal>

#include "app/quit_signals.h"

namespace kestrion {
namespace {

// Under LeakSanitizer this also checks that what OnQuitSignals makes goes with the
// application at exit.
TEST(QuitSignals, SigtermCallsQuitOnTheLoop) {
  int quits = 0;
  OnQuitSignals([&quits] { ++quits; });
  ASSERT_EQ(std::raise(SIGTERM), 0);
  EXPECT_EQ(quits, 0);  // never inside the signal handler
  const QDeadlineTimer deadline(5000);
  while (quits == 0 && !deadline.hasExpired()) QCoreApplication::processEvents();
  EXPECT_EQ(quits, 1);
}

}  // namespace
}  // namespace kestrion
