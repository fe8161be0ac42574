#include "app/follow.h"

#include <utility>

namespace kestrion {

void FollowLoop::Refresh() {
  std::unique_lock lock(mutex_);
  if (ended_) return;
  if (on_refresh_) {
    lock.unlock();
    on_refresh_();
    return;
  }
  refresh_ = true;
  lock.unlock();
  wake_.notify_one();
}

void FollowLoop::End() {
  {
    const std::lock_guard lock(mutex_);
    ended_ = true;
  }
  wake_.notify_one();
}

void FollowLoop::Run(const std::function<void()>& tick, std::function<void()> refresh) {
  using Clock = std::chrono::steady_clock;
  Clock::time_point next_tick = Clock::now() + interval_;
  std::unique_lock lock(mutex_);
  on_refresh_ = std::move(refresh);
  while (!ended_) {
    wake_.wait_until(lock, next_tick, [this] { return ended_ || refresh_; });
    if (ended_) break;
    const std::function<void()>* run = nullptr;
    if (std::exchange(refresh_, false)) {
      run = &on_refresh_;
    } else if (const Clock::time_point now = Clock::now(); now >= next_tick) {
      next_tick += interval_;
      if (next_tick <= now) next_tick = now + interval_;
      run = &tick;
    } else {
      continue;
    }
    lock.unlock();
    (*run)();
    lock.lock();
  }
}

}  // namespace kestrion
