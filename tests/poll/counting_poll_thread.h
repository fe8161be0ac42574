#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "poll/poll_thread.h"

namespace kestrion::test {

// A real poll thread whose polls only count, for tests of what wakes it. Each poll begins on
// the waking thread's hand-over, here run at once on the poll thread, and ends there.
class CountingPollThread {
 public:
  CountingPollThread() : thread_(Hooks()) { WaitUntilResting(); }
  ~CountingPollThread() { WaitUntilResting(); }
  CountingPollThread(const CountingPollThread&) = delete;
  CountingPollThread& operator=(const CountingPollThread&) = delete;

  TMainThread* thread() { return &thread_; }
  int polls() const { return polls_; }

  // Waits up to 2 s for `count` polls, running `meanwhile` (a test's message loop) between
  // looks; true when they came.
  bool WaitForPolls(int count, const std::function<void()>& meanwhile = {}) {
    for (int i = 0; i < 200 && polls_ < count; ++i) {
      if (meanwhile) meanwhile();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return polls_ >= count;
  }

 private:
  TMainThread::Hooks Hooks() {
    TMainThread::Hooks hooks;
    hooks.post_to_ui_thread = [](std::function<void()> work) {
      work();
      return true;
    };
    hooks.begin = [this] {
      ++polls_;
      return std::optional<std::string>();
    };
    return hooks;
  }
  void WaitUntilResting() {
    for (int i = 0; i < 400 && !thread_.Suspended(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!thread_.Suspended()) ADD_FAILURE() << "the poll thread did not come to rest within 2 s";
  }

  std::atomic<int> polls_ = 0;
  TMainThread thread_;  // last: starts once the count is ready
};

}  // namespace kestrion::test
