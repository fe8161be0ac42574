#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace kestrion {

// The loop that kestrion-check --follow runs on its main thread, in place of the desktop
// program's message loop: it times the polls, and a refresh or the end can be asked for from
// any thread.
class FollowLoop {
 public:
  explicit FollowLoop(std::chrono::milliseconds interval) : interval_(interval) {}

  // A poll at once, as a click on a status bar asks for. Once Run has begun, Run's `refresh`
  // runs on the caller's thread, so that a click wakes nothing but the poll; before, the
  // request is kept for Run, and several are one.
  void Refresh();
  // Ends Run as soon as what it runs now returns; no refresh runs after it.
  void End();

  // Until End: `tick` every `interval` from the start (a tick missed while something ran is
  // not made up for), and `refresh` for a Refresh asked for before. Called once; the loop
  // keeps `refresh`, which a Refresh may still be running as Run returns.
  void Run(const std::function<void()>& tick, std::function<void()> refresh);

 private:
  const std::chrono::milliseconds interval_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool refresh_ = false;
  std::function<void()> on_refresh_;  // set once, by Run
  bool ended_ = false;
};

// `loop` must live as long as the process: the requests come from a thread of their own to
// the end. Asks `loop` to end when the process is asked to (SIGTERM, SIGINT, SIGHUP; Ctrl+C or a
// closed console on Windows) or, on Linux, its output is closed (the status bar has gone),
// and to refresh on SIGUSR1 or a real-time signal (Linux). Call it before any other thread
// starts: on Linux the signals are taken from every thread. Standard input is left alone:
// i3blocks 1.4 hands a persistent block its own, with the clicks meant for itself.
void WatchFollowRequests(FollowLoop& loop);

}  // namespace kestrion
