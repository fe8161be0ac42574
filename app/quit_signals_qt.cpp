#include <QCoreApplication>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>
#include <csignal>

#include "app/quit_signals.h"

namespace kestrion {

namespace {

int g_signal_pipe[2] = {-1, -1};

void OnSignal(int) {
  // Only async-signal-safe work here: the loop picks the byte up.
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = write(g_signal_pipe[1], &byte, 1);
}

}  // namespace

void OnQuitSignals(std::function<void()> quit) {
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signal_pipe) != 0) return;
  // Owned by the application, so that it and its connection go with it at exit.
  auto* notifier =
      new QSocketNotifier(g_signal_pipe[0], QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, [quit = std::move(quit)] {
    char byte = 0;
    [[maybe_unused]] const ssize_t n = read(g_signal_pipe[0], &byte, 1);
    quit();
  });
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

}  // namespace kestrion
