#include "app/follow.h"

#include <utility>

namespace kestrion {

bool FollowLoop::Post(std::function<void()> work) {
  {
    const std::lock_guard lock(mutex_);
    if (ended_) return false;
    work_.push_back(std::move(work));
  }
  wake_.notify_one();
  return true;
}

void FollowLoop::Refresh() {
  {
    const std::lock_guard lock(mutex_);
    refresh_ = true;
  }
  wake_.notify_one();
}

void FollowLoop::End() {
  {
    const std::lock_guard lock(mutex_);
    ended_ = true;
    work_.clear();
  }
  wake_.notify_one();
}

void FollowLoop::Run(const std::function<void()>& tick, const std::function<void()>& refresh) {
  using Clock = std::chrono::steady_clock;
  Clock::time_point next_tick = Clock::now() + interval_;
  std::unique_lock lock(mutex_);
  while (!ended_) {
    wake_.wait_until(lock, next_tick, [this] { return ended_ || refresh_ || !work_.empty(); });
    if (ended_) break;
    std::function<void()> run;
    if (!work_.empty()) {
      run = std::move(work_.front());
      work_.pop_front();
    } else if (std::exchange(refresh_, false)) {
      run = refresh;
    } else if (const Clock::time_point now = Clock::now(); now >= next_tick) {
      next_tick += interval_;
      if (next_tick <= now) next_tick = now + interval_;
      run = tick;
    } else {
      continue;
    }
    lock.unlock();
    run();
    lock.lock();
  }
}

}  // namespace kestrion
