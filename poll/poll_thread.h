#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "poll/reply_status.h"

namespace kestrion {

// The poll thread. It paces the polls and carries the network wait, so that the
// user-interface thread never waits on it. Each poll is three hand-overs: `begin` runs on the
// user-interface thread (the connection check, the settings, the address), `fetch` on this
// thread (the request and the reply), `end` on the user-interface thread again (the status).
// Then the thread suspends itself until it is resumed. Polls never overlap, and the first one
// begins only once the user-interface thread serves its message loop.
class TMainThread {
 public:
  // Queues `work` to run on the user-interface thread when its message loop comes to it, and
  // returns at once; false when it could not be queued. The thread waits for it itself, so
  // that the end of the program can release it.
  using PostToUiThread = std::function<bool(std::function<void()> work)>;

  struct Hooks {
    PostToUiThread post_to_ui_thread;
    // The address to fetch, or nothing when the poll ended at once (it showed its status).
    std::function<std::optional<std::string>()> begin;
    // The status the reply asks for, or nothing; never raises.
    std::function<std::optional<Status>(const std::string& address)> fetch;
    std::function<void(const std::optional<Status>& status)> end;
    // Called on the user-interface thread when the program ends: the fetch under way, if
    // any, returns at once, and so does any fetch after it.
    std::function<void()> cancel = {};
    std::function<void()> lower_priority = {};  // called first, on the poll thread itself
  };

  // Starts the thread at once (it is not created suspended), and returns once its first poll
  // is queued: what the user-interface thread queues after it (showing the windows) comes
  // after the first request is under way.
  explicit TMainThread(Hooks hooks);
  // The program ends the thread with Terminate; this is for tests, and waits for a fetch
  // under way.
  ~TMainThread();
  TMainThread(const TMainThread&) = delete;
  TMainThread& operator=(const TMainThread&) = delete;

  // The timer's wake-up: one more poll when the thread is suspended; otherwise nothing, and
  // no wake-up is kept for later.
  void Resume();
  // The wake-up after new settings were stored. When suspended, as Resume. During a poll
  // that has read the settings already, it is kept: that poll's result is not shown, and
  // the next poll begins as soon as it ends, so the status always comes from the settings
  // stored last.
  void ResumeForNewSettings();
  bool Suspended() const;

  // On the user-interface thread, as the program ends: from now on nothing more is queued to
  // the user-interface thread and nothing queued runs, a hand-over waited for is let go, a
  // fetch under way is cancelled, and this waits up to `grace` for the thread to end. True
  // when it ended (it is joined); false when it is still inside the fetch, which the process
  // must then not wait for, nor run its clean-up under.
  bool Terminate(std::chrono::milliseconds grace);

 private:
  void Execute();
  // Runs `work` on the user-interface thread and waits for it; false, without running it,
  // once the program has ended.
  bool OnUiThread(const std::function<void()>& work);

  Hooks hooks_;
  // Held while a hand-over is queued, so that none is queued once Terminate has begun.
  std::mutex post_mutex_;
  mutable std::mutex mutex_;  // after post_mutex_ when both are held
  std::condition_variable wake_;
  std::condition_variable handed_;
  std::condition_variable ended_;
  bool suspended_ = false;
  bool terminated_ = false;
  bool finished_ = false;       // Execute has returned
  bool queued_once_ = false;    // a hand-over has been queued, or none will be
  bool settings_read_ = false;  // this poll's `begin` has run
  bool overtaken_ = false;      // new settings came after it
  bool fetching_ = false;
  unsigned handover_ = 0;       // the hand-over waited for
  bool handover_done_ = false;  // it has run
  std::thread thread_;          // last: starts once everything above is ready
};

}  // namespace kestrion
