#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace kestrion {

// The poll thread. It does no work of its own: it hands the poll to the user-interface thread,
// waits until the poll has run there, and suspends itself until it is resumed. So polls never
// overlap, and the first one runs only once the user-interface thread serves its message loop.
class TMainThread {
 public:
  // Runs `work` on the user-interface thread and returns once it has run there.
  using RunOnUiThread = std::function<void(const std::function<void()>& work)>;

  struct Hooks {
    RunOnUiThread run_on_ui_thread;
    std::function<void()> poll;                 // PollBalance with its services
    std::function<void()> lower_priority = {};  // called first, on the poll thread itself
  };

  // Starts the thread at once (it is not created suspended).
  explicit TMainThread(Hooks hooks);
  // The program never ends the poll thread; this exists for tests and needs the
  // user-interface thread still to serve a hand-over that is under way.
  ~TMainThread();
  TMainThread(const TMainThread&) = delete;
  TMainThread& operator=(const TMainThread&) = delete;

  // Wakes the thread for one more poll when it is suspended; otherwise does nothing, and no
  // wake-up is kept for later.
  void Resume();
  bool Suspended() const;

 private:
  void Execute();

  Hooks hooks_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool suspended_ = false;
  bool terminated_ = false;
  std::thread thread_;  // last: starts once everything above is ready
};

}  // namespace kestrion
