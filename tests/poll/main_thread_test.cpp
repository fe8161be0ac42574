#include "poll/main_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <future>

namespace kestrion {
namespace {

using namespace std::chrono_literals;

// Stands in for the user-interface thread's message loop: hand-overs wait in a queue until
// the test, playing that thread, serves them.
class FakeUiLoop {
 public:
  void RunOnUiThread(const std::function<void()>& work) {
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    {
      const std::lock_guard lock(mutex_);
      queue_.push_back([&] {
        work();
        done.set_value();
      });
    }
    posted_.notify_all();
    finished.wait();
  }

  // Runs one queued hand-over; false when none came within `wait`.
  bool ServeOne(std::chrono::milliseconds wait = 2000ms) {
    std::function<void()> task;
    {
      std::unique_lock lock(mutex_);
      if (!posted_.wait_for(lock, wait, [this] { return !queue_.empty(); })) return false;
      task = std::move(queue_.front());
      queue_.pop_front();
    }
    task();
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> queue_;
};

bool WaitUntil(const std::function<bool()>& condition) {
  for (int i = 0; i < 400; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(5ms);
  }
  return false;
}

class MainThreadTest : public ::testing::Test {
 protected:
  std::unique_ptr<TMainThread> Start() {
    TMainThread::Hooks hooks;
    hooks.run_on_ui_thread = [this](const std::function<void()>& work) {
      loop_.RunOnUiThread(work);
    };
    hooks.poll = [this] {
      ++polls_;
      poll_threads_.push_back(std::this_thread::get_id());
      if (during_poll_) during_poll_();
    };
    hooks.lower_priority = [this] { priority_lowered_on_ = std::this_thread::get_id(); };
    return std::make_unique<TMainThread>(std::move(hooks));
  }

  FakeUiLoop loop_;
  std::atomic<int> polls_ = 0;
  std::vector<std::thread::id> poll_threads_;
  std::function<void()> during_poll_;
  std::thread::id priority_lowered_on_;
};

TEST_F(MainThreadTest, FirstPollWaitsForTheLoopAndRunsOnTheUiThread) {
  auto thread = Start();
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(polls_, 0);
  ASSERT_TRUE(loop_.ServeOne());
  EXPECT_EQ(polls_, 1);
  EXPECT_EQ(poll_threads_.at(0), std::this_thread::get_id());
  ASSERT_TRUE(WaitUntil([&] { return thread->Suspended(); }));
  EXPECT_NE(priority_lowered_on_, std::thread::id());
  EXPECT_NE(priority_lowered_on_, std::this_thread::get_id());
}

TEST_F(MainThreadTest, OnePollPerResume) {
  auto thread = Start();
  ASSERT_TRUE(loop_.ServeOne());
  for (int i = 2; i <= 4; ++i) {
    ASSERT_TRUE(WaitUntil([&] { return thread->Suspended(); }));
    EXPECT_FALSE(loop_.ServeOne(30ms)) << "a poll came without a resume";
    thread->Resume();
    ASSERT_TRUE(loop_.ServeOne());
    EXPECT_EQ(polls_, i);
  }
  ASSERT_TRUE(WaitUntil([&] { return thread->Suspended(); }));
}

TEST_F(MainThreadTest, ResumesWhileNotSuspendedAreDroppedNotKept) {
  auto thread = Start();
  thread->Resume();  // before the loop runs: the first poll is still waiting
  during_poll_ = [&] { thread->Resume(); };
  ASSERT_TRUE(loop_.ServeOne());
  ASSERT_TRUE(WaitUntil([&] { return thread->Suspended(); }));
  EXPECT_FALSE(loop_.ServeOne(100ms));
  EXPECT_EQ(polls_, 1);
}

TEST_F(MainThreadTest, PollsNeverOverlapUnderAStormOfResumes) {
  auto thread = Start();
  std::atomic<bool> stop = false;
  std::atomic<int> running = 0;
  std::atomic<int> most_at_once = 0;
  during_poll_ = [&] {
    most_at_once = std::max(most_at_once.load(), ++running);
    std::this_thread::sleep_for(1ms);
    --running;
  };
  std::thread storm([&] {
    while (!stop) thread->Resume();
  });
  for (int served = 0; served < 50;) served += loop_.ServeOne() ? 1 : 0;
  stop = true;
  storm.join();
  while (loop_.ServeOne(50ms)) {
  }
  EXPECT_EQ(most_at_once, 1);
  for (const auto id : poll_threads_) EXPECT_EQ(id, std::this_thread::get_id());
  ASSERT_TRUE(WaitUntil([&] { return thread->Suspended(); }));
}

}  // namespace
}  // namespace kestrion
