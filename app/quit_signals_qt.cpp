#include <QCoreApplication>
#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>

#include "app/quit_signals.h"

namespace kestrion {

namespace {

int g_signal_pipe[2] = {-1, -1};

void OnSignal(int) {
  // Only async-signal-safe work here, and errno as the interrupted code left it. The write
  // end never blocks: when the pipe is full, a request is waiting already.
  const int saved_errno = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = write(g_signal_pipe[1], &byte, 1);
  errno = saved_errno;
}

}  // namespace

void CatchQuitSignals() {
  if (g_signal_pipe[0] != -1 || pipe2(g_signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

void OnQuitSignals(std::function<void()> quit) {
  CatchQuitSignals();
  if (g_signal_pipe[0] == -1) return;
  // Owned by the application, so that it and its connection go with it at exit.
  auto* notifier =
      new QSocketNotifier(g_signal_pipe[0], QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, [quit = std::move(quit)] {
    char bytes[16];
    bool caught = false;
    while (read(g_signal_pipe[0], bytes, sizeof bytes) > 0) caught = true;
    if (caught) quit();
  });
}

}  // namespace kestrion
