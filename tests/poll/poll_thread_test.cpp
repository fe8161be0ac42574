#include "poll/poll_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <future>
#include <optional>
#include <string>
#include <vector>

namespace kestrion {
namespace {

using namespace std::chrono_literals;

// Stands in for the user-interface thread's message loop: hand-overs wait in a queue until
// the test, playing that thread, serves them.
class FakeUiLoop {
 public:
  bool Post(std::function<void()> work) {
    {
      const std::lock_guard lock(mutex_);
      queue_.push_back(std::move(work));
    }
    posted_.notify_all();
    return true;
  }

  // Runs one queued hand-over; false when none came within `wait`.
  bool ServeOne(std::chrono::milliseconds wait = 2000ms) {
    std::function<void()> task;
    {
      std::unique_lock lock(mutex_);
      if (!Posted(lock, wait)) return false;
      task = std::move(queue_.front());
      queue_.pop_front();
    }
    task();
    return true;
  }

  // Whether a hand-over waits, or comes within `wait`; it is left queued.
  bool Pending(std::chrono::milliseconds wait = 2000ms) {
    std::unique_lock lock(mutex_);
    return Posted(lock, wait);
  }

 private:
  bool Posted(std::unique_lock<std::mutex>& lock, std::chrono::milliseconds wait) {
    return posted_.wait_for(lock, wait, [this] { return !queue_.empty(); });
  }

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
    hooks.post_to_ui_thread = [this](std::function<void()> work) {
      return loop_.Post(std::move(work));
    };
    hooks.begin = [this]() -> std::optional<std::string> {
      ui_steps_on_.push_back(std::this_thread::get_id());
      return "poll " + std::to_string(++polls_);
    };
    hooks.fetch = [this](const std::string& address) -> std::optional<Status> {
      fetched_on_ = std::this_thread::get_id();
      if (during_fetch_) during_fetch_();
      return Status{address, true};
    };
    hooks.end = [this](const std::optional<Status>& status) {
      ui_steps_on_.push_back(std::this_thread::get_id());
      shown_.push_back(status->text);
    };
    hooks.cancel = [this] {
      ++cancels_;
      cancelled_.set_value();
    };
    hooks.lower_priority = [this] {
      priority_lowered_on_ = std::this_thread::get_id();
      std::this_thread::sleep_for(start_delay_);
    };
    return std::make_unique<TMainThread>(std::move(hooks));
  }

  // Serves one poll's two hand-overs, its beginning and its end.
  bool ServePoll() { return loop_.ServeOne() && loop_.ServeOne(); }

  FakeUiLoop loop_;
  std::atomic<int> polls_ = 0;
  std::vector<std::thread::id> ui_steps_on_;
  std::vector<std::string> shown_;
  std::function<void()> during_fetch_;  // set before the first poll is served, then kept
  std::promise<void> cancelled_;
  std::atomic<int> cancels_ = 0;
  std::thread::id fetched_on_;
  std::thread::id priority_lowered_on_;
  std::chrono::milliseconds start_delay_ = 0ms;  // the poll thread's, before its first poll
};

TEST_F(MainThreadTest, FirstPollWaitsForTheLoopAndOnlyTheRequestRunsOnThePollThread) {
  auto thread = Start();
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(polls_, 0);
  ASSERT_TRUE(ServePoll());
  EXPECT_EQ(shown_, std::vector<std::string>{"poll 1"});
  for (const auto id : ui_steps_on_) EXPECT_EQ(id, std::this_thread::get_id());
  ASSERT_TRUE(WaitUntil([&] { return thread->Suspended(); }));
  EXPECT_NE(fetched_on_, std::this_thread::get_id());
  EXPECT_EQ(priority_lowered_on_, fetched_on_);
}

// What the user-interface thread queues after the start (showing the windows) comes after the
// first poll's beginning, however slow the poll thread is to get going.
TEST_F(MainThreadTest, StartReturnsOnceTheFirstPollIsQueued) {
  start_delay_ = 100ms;
  auto thread = Start();
  EXPECT_TRUE(loop_.Pending(0ms));
}

TEST_F(MainThreadTest, OnePollPerResume) {
  auto thread = Start();
  ASSERT_TRUE(ServePoll());
  for (int i = 2; i <= 4; ++i) {
    ASSERT_TRUE(WaitUntil([&] { return thread->Suspended(); }));
    EXPECT_FALSE(loop_.ServeOne(30ms)) << "a poll came without a resume";
    thread->Resume();
    ASSERT_TRUE(ServePoll());
    EXPECT_EQ(polls_, i);
  }
  ASSERT_TRUE(WaitUntil([&] { return thread->Suspended(); }));
}

TEST_F(MainThreadTest, ResumesWhileNotSuspendedAreDroppedNotKept) {
  auto thread = Start();
  thread->Resume();  // before the loop runs: the first poll is still waiting
  during_fetch_ = [&] { thread->Resume(); };
  ASSERT_TRUE(ServePoll());
  ASSERT_TRUE(WaitUntil([&] { return thread->Suspended(); }));
  EXPECT_FALSE(loop_.ServeOne(100ms));
  EXPECT_EQ(polls_, 1);
}

// The user-interface thread is free while the request waits; new settings stored meanwhile
// win: the overtaken result is never shown and the next poll begins at once.
TEST_F(MainThreadTest, NewSettingsDuringARequestOvertakeIt) {
  auto thread = Start();
  std::promise<void> answer;
  std::shared_future<void> answered = answer.get_future().share();
  during_fetch_ = [answered] { answered.wait_for(10s); };
  ASSERT_TRUE(loop_.ServeOne());  // begins; the request now waits on the "network"
  EXPECT_FALSE(loop_.ServeOne(50ms)) << "nothing for the user-interface thread to wait on";
  thread->Resume();                // a timer tick: dropped
  thread->ResumeForNewSettings();  // OK in the settings dialog: kept
  answer.set_value();
  ASSERT_TRUE(loop_.ServeOne());  // the overtaken end
  EXPECT_TRUE(shown_.empty());
  ASSERT_TRUE(ServePoll());  // the next poll, with no tick
  EXPECT_EQ(shown_, std::vector<std::string>{"poll 2"});
  ASSERT_TRUE(WaitUntil([&] { return thread->Suspended(); }));
  EXPECT_FALSE(loop_.ServeOne(50ms));
}

// Settings stored before the poll has read its settings are the ones it reads: that is no
// overtaking, and neither costs a second request nor throws the first result away.
TEST_F(MainThreadTest, NewSettingsBeforeThePollReadsItsOwnAreNoOvertaking) {
  auto thread = Start();
  ASSERT_TRUE(loop_.Pending()) << "the first poll did not ask for the loop";
  thread->ResumeForNewSettings();
  ASSERT_TRUE(ServePoll());
  EXPECT_EQ(shown_, std::vector<std::string>{"poll 1"});
  ASSERT_TRUE(WaitUntil([&] { return thread->Suspended(); }));
  EXPECT_FALSE(loop_.ServeOne(50ms)) << "a second poll";
  EXPECT_EQ(polls_, 1);
}

// The end of the program: a request that heeds the cancel ends the thread within the grace;
// one that does not is left behind, and whenever it returns, nothing more reaches the
// user-interface thread, not even a hand-over that would do nothing.
TEST_F(MainThreadTest, EndingTheProgramCancelsTheRequestAndNothingMoreRunsOnTheUiThread) {
  for (const bool heeds_cancel : {true, false}) {
    SCOPED_TRACE(heeds_cancel ? "heeds the cancel" : "ignores the cancel");
    polls_ = 0;
    std::promise<void> cancelled;
    std::promise<void> answer;
    cancelled_.swap(cancelled);
    std::shared_future<void> wait_for = (heeds_cancel ? cancelled_ : answer).get_future().share();
    std::promise<void> fetching;
    std::future<void> fetch_begun = fetching.get_future();
    during_fetch_ = [wait_for, &fetching] {
      fetching.set_value();
      wait_for.wait_for(10s);
    };
    cancels_ = 0;
    auto thread = Start();
    ASSERT_TRUE(loop_.ServeOne());
    // Only a request under way tests the cancel; one that never began would end as fast.
    if (fetch_begun.wait_for(2s) != std::future_status::ready) {
      answer.set_value();
      FAIL() << "the request did not begin";
    }
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(thread->Terminate(300ms), heeds_cancel);
    EXPECT_LT(std::chrono::steady_clock::now() - start, heeds_cancel ? 200ms : 600ms);
    EXPECT_EQ(cancels_, 1);
    if (!heeds_cancel) answer.set_value();  // the network answers after all
    EXPECT_FALSE(loop_.ServeOne(100ms));
    EXPECT_TRUE(shown_.empty());
    EXPECT_EQ(polls_, 1);
  }
}

// Whatever wakes it, and however often, each poll's beginning is followed by its end before
// the next one begins, and the status shown is that poll's own.
TEST_F(MainThreadTest, PollsNeverOverlapUnderAStormOfResumes) {
  auto thread = Start();
  std::atomic<bool> stop = false;
  std::thread storm([&] {
    for (int i = 0; !stop; ++i) i % 2 ? thread->Resume() : thread->ResumeForNewSettings();
  });
  // Each hand-over served: 'b' when it began a poll, 'e' when it ended one.
  std::string served;
  const auto serve = [&](std::chrono::milliseconds wait) {
    const int before = polls_;
    const std::size_t shown = shown_.size();
    if (!loop_.ServeOne(wait)) return false;
    served += polls_ == before ? 'e' : 'b';
    if (shown_.size() > shown && shown_.back() != "poll " + std::to_string(polls_)) {
      ADD_FAILURE() << "shown " << shown_.back() << " at the end of poll " << polls_;
    }
    return true;
  };
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (served.size() < 50 && std::chrono::steady_clock::now() < deadline) serve(100ms);
  stop = true;
  storm.join();
  ASSERT_EQ(served.size(), 50u) << "the poll thread stopped asking: a lost wake-up";
  for (int i = 0; i < 10 && serve(100ms); ++i) {
  }
  ASSERT_TRUE(WaitUntil([&] { return thread->Suspended(); }));
  std::string alternating;
  for (std::size_t i = 0; i < served.size(); ++i) alternating += i % 2 ? 'e' : 'b';
  EXPECT_EQ(served, alternating);
  for (const auto id : ui_steps_on_) EXPECT_EQ(id, std::this_thread::get_id());
}

}  // namespace
}  // namespace kestrion
