#include "poll/main_thread.h"

namespace kestrion {

TMainThread::TMainThread(Hooks hooks) : hooks_(std::move(hooks)), thread_([this] { Execute(); }) {}

TMainThread::~TMainThread() {
  {
    const std::lock_guard lock(mutex_);
    terminated_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void TMainThread::Resume() {
  {
    const std::lock_guard lock(mutex_);
    if (!suspended_) return;
    suspended_ = false;
  }
  wake_.notify_all();
}

void TMainThread::ResumeForNewSettings() {
  {
    const std::lock_guard lock(mutex_);
    if (!suspended_) {
      // Before `begin` the poll reads the new settings itself.
      if (settings_read_) overtaken_ = true;
      return;
    }
    suspended_ = false;
  }
  wake_.notify_all();
}

bool TMainThread::Suspended() const {
  const std::lock_guard lock(mutex_);
  return suspended_;
}

void TMainThread::Terminate(std::chrono::milliseconds grace) {
  std::unique_lock lock(mutex_);
  terminated_ = true;
  const bool fetching = fetching_;
  lock.unlock();
  wake_.notify_all();
  if (!fetching) return;
  if (hooks_.cancel) hooks_.cancel();
  lock.lock();
  fetched_.wait_for(lock, grace, [this] { return !fetching_; });
}

void TMainThread::OnUiThread(const std::function<void()>& work) {
  hooks_.run_on_ui_thread([this, &work] {
    {
      const std::lock_guard lock(mutex_);
      if (terminated_) return;
    }
    work();
  });
}

void TMainThread::Execute() {
  if (hooks_.lower_priority) hooks_.lower_priority();
  std::unique_lock lock(mutex_);
  while (!terminated_) {
    overtaken_ = false;
    lock.unlock();

    std::optional<std::string> address;
    OnUiThread([&] {
      address = hooks_.begin();
      const std::lock_guard inner(mutex_);
      settings_read_ = true;
    });
    if (address) {
      lock.lock();
      const bool fetch = fetching_ = !terminated_;
      lock.unlock();
      std::optional<Status> status;
      if (fetch) status = hooks_.fetch(*address);
      lock.lock();
      fetching_ = false;
      lock.unlock();
      fetched_.notify_all();
      OnUiThread([&] {
        {
          const std::lock_guard inner(mutex_);
          if (overtaken_) return;
        }
        hooks_.end(status);
      });
    }

    lock.lock();
    settings_read_ = false;
    if (overtaken_) continue;  // new settings came during this poll: poll with them now
    suspended_ = true;
    wake_.wait(lock, [this] { return !suspended_ || terminated_; });
  }
}

}  // namespace kestrion
