#include "poll/poll_thread.h"

namespace kestrion {

TMainThread::TMainThread(Hooks hooks) : hooks_(std::move(hooks)), thread_([this] { Execute(); }) {
  std::unique_lock lock(mutex_);
  handed_.wait(lock, [this] { return queued_once_; });
}

TMainThread::~TMainThread() {
  {
    const std::scoped_lock lock(post_mutex_, mutex_);
    terminated_ = true;
  }
  wake_.notify_all();
  handed_.notify_all();
  if (thread_.joinable()) thread_.join();
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

bool TMainThread::Terminate(std::chrono::milliseconds grace) {
  bool fetching = false;
  {
    const std::scoped_lock lock(post_mutex_, mutex_);
    terminated_ = true;
    fetching = fetching_;
  }
  wake_.notify_all();
  handed_.notify_all();
  if (fetching && hooks_.cancel) hooks_.cancel();
  std::unique_lock lock(mutex_);
  const bool ended = ended_.wait_for(lock, grace, [this] { return finished_; });
  lock.unlock();
  if (ended && thread_.joinable()) thread_.join();
  return ended;
}

bool TMainThread::OnUiThread(const std::function<void()>& work) {
  unsigned handover = 0;
  {
    const std::lock_guard post_lock(post_mutex_);
    {
      const std::lock_guard lock(mutex_);
      if (terminated_) return false;
      handover = ++handover_;
      handover_done_ = false;
    }
    // `work` lives until this thread stops waiting, which is after it ran or once the
    // program has ended; after that the queued call finds terminated_ and leaves it alone.
    const bool posted = hooks_.post_to_ui_thread([this, handover, &work] {
      {
        const std::lock_guard lock(mutex_);
        if (terminated_ || handover != handover_) return;
      }
      work();
      {
        const std::lock_guard lock(mutex_);
        handover_done_ = true;
      }
      handed_.notify_all();
    });
    {
      const std::lock_guard lock(mutex_);
      queued_once_ = true;
    }
    handed_.notify_all();
    if (!posted) return false;
  }
  std::unique_lock lock(mutex_);
  handed_.wait(lock, [this] { return handover_done_ || terminated_; });
  return handover_done_;
}

void TMainThread::Execute() {
  if (hooks_.lower_priority) hooks_.lower_priority();
  std::unique_lock lock(mutex_);
  while (!terminated_) {
    overtaken_ = false;
    lock.unlock();

    std::optional<std::string> address;
    const bool begun = OnUiThread([&] {
      address = hooks_.begin();
      const std::lock_guard inner(mutex_);
      settings_read_ = true;
    });
    if (begun && address) {
      lock.lock();
      const bool fetch = fetching_ = !terminated_;
      lock.unlock();
      std::optional<Status> status;
      if (fetch) status = hooks_.fetch(*address);
      lock.lock();
      fetching_ = false;
      lock.unlock();
      OnUiThread([&] {
        {
          const std::lock_guard inner(mutex_);
          if (overtaken_) return;
        }
        hooks_.end(status);
      });
    }

    lock.lock();
    if (terminated_) break;
    settings_read_ = false;
    if (overtaken_) continue;  // new settings came during this poll: poll with them now
    suspended_ = true;
    wake_.wait(lock, [this] { return !suspended_ || terminated_; });
  }
  finished_ = queued_once_ = true;
  lock.unlock();
  ended_.notify_all();
  handed_.notify_all();
}

}  // namespace kestrion
