#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace kestrion {

// The loop that kestrion-check --follow runs on its main thread, in place of the desktop
// program's message loop: the poll thread's hand-overs run here, the timer ticks, and a
// refresh or the end can be asked for from any thread.
class FollowLoop {
 public:
  explicit FollowLoop(std::chrono::milliseconds interval) : interval_(interval) {}

  // From any thread: `work` runs on the loop's thread, in the order posted. False once the
  // loop has ended; the work is then dropped.
  bool Post(std::function<void()> work);
  // A poll at once, as a click on a status bar asks for; several before the loop comes to
  // them are one.
  void Refresh();
  // Ends Run as soon as what it runs now returns; nothing posted runs after it.
  void End();

  // Until End: what is posted, `refresh` for a Refresh, and `tick` every `interval` from the
  // start (a tick missed while something ran is not made up for).
  void Run(const std::function<void()>& tick, const std::function<void()>& refresh);

 private:
  const std::chrono::milliseconds interval_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> work_;
  bool refresh_ = false;
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
