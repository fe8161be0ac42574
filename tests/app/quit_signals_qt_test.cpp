// The quit signals reach the user-interface loop.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <cerrno>
#include <csignal>

#include "app/quit_signals.h"

namespace kestrion {
namespace {

// Under LeakSanitizer this also checks that what OnQuitSignals makes goes with the
// application at exit. A request during start-up, before the loop is told, is kept for it;
// more requests than the pipe holds never block the handler, and the interrupted code's errno
// is left as it was.
TEST(QuitSignals, SigtermCallsQuitOnTheLoop) {
  int quits = 0;
  const auto serve = [&quits](int expected) {
    const QDeadlineTimer deadline(5000);
    while (quits < expected && !deadline.hasExpired()) QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(quits, expected);
  };
  CatchQuitSignals();
  for (int i = 0; i < 100000; ++i) {
    errno = EDOM;
    ASSERT_EQ(std::raise(SIGTERM), 0);
    ASSERT_EQ(errno, EDOM);
  }
  OnQuitSignals([&quits] { ++quits; });
  EXPECT_EQ(quits, 0);  // never inside the signal handler
  serve(1);
  ASSERT_EQ(std::raise(SIGHUP), 0);
  serve(2);
}

}  // namespace
}  // namespace kestrion
