#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <thread>

#include "app/follow.h"

namespace kestrion {

namespace {

bool IsRefreshSignal(int signal) {
  return signal == SIGUSR1 || (signal >= SIGRTMIN && signal <= SIGRTMAX);
}

}  // namespace

void WatchFollowRequests(FollowLoop& loop) {
  sigset_t signals;
  sigemptyset(&signals);
  for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGUSR1}) sigaddset(&signals, signal);
  for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) sigaddset(&signals, signal);
  // Taken from every thread and read here, so that none interrupts a poll.
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  // A closed output is an error of the write, which ends the loop, not a signal that kills.
  std::signal(SIGPIPE, SIG_IGN);
  const int signal_fd = signalfd(-1, &signals, SFD_CLOEXEC);
  std::thread([&loop, signal_fd] {
    pollfd watched[] = {{signal_fd, POLLIN, 0}, {STDOUT_FILENO, 0, 0}};
    while (poll(watched, 2, -1) >= 0 || errno == EINTR) {
      if ((watched[0].revents & POLLIN) != 0) {
        signalfd_siginfo caught = {};
        if (read(signal_fd, &caught, sizeof caught) == sizeof caught) {
          if (IsRefreshSignal(static_cast<int>(caught.ssi_signo))) {
            loop.Refresh();
          } else {
            loop.End();
          }
        }
      }
      // A pipe whose reader has gone reports an error on the writer's end, and goes on
      // reporting it: it is told once.
      if ((watched[1].revents & (POLLERR | POLLHUP)) != 0) loop.End();
      if ((watched[1].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) watched[1].fd = -1;
    }
  }).detach();
}

}  // namespace kestrion
