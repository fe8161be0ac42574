#include "poll/main_thread.h"

namespace kestrion {

TMainThread::TMainThread(Hooks hooks)
    : hooks_(std::move(hooks)), thread_([this] { Execute(); }) {}

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

bool TMainThread::Suspended() const {
  const std::lock_guard lock(mutex_);
  return suspended_;
}

void TMainThread::Execute() {
  if (hooks_.lower_priority) hooks_.lower_priority();
  std::unique_lock lock(mutex_);
  while (!terminated_) {
    lock.unlock();
    hooks_.run_on_ui_thread(hooks_.poll);
    lock.lock();
    suspended_ = true;
    wake_.wait(lock, [this] { return !suspended_ || terminated_; });
  }
}

}  // namespace kestrion
