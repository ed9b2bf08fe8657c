#include "component/main_thread_scheduler.h"

#include <algorithm>

namespace fennick {

TMainThreadScheduler::TTimerId TSimpleMainThreadScheduler::Schedule(int delayMs, std::function<void()> work) {
  TTimerId id;
  {
    std::lock_guard<std::mutex> lock(FLock);
    id = FNextId++;
    FItems.emplace(id, TItem{TClock::now() + std::chrono::milliseconds(std::max(delayMs, 0)), std::move(work)});
  }
  FCond.notify_all();
  return id;
}

void TSimpleMainThreadScheduler::Cancel(TTimerId id) {
  std::lock_guard<std::mutex> lock(FLock);
  FItems.erase(id);
}

int TSimpleMainThreadScheduler::ProcessFor(std::chrono::milliseconds maxWait) {
  const auto deadline = TClock::now() + maxWait;
  int ran = 0;
  std::unique_lock<std::mutex> lock(FLock);
  for (;;) {
    // The earliest due item, first scheduled first among equals.
    auto next = FItems.end();
    for (auto it = FItems.begin(); it != FItems.end(); ++it)
      if (next == FItems.end() || it->second.Due < next->second.Due) next = it;
    const auto now = TClock::now();
    if (next != FItems.end() && next->second.Due <= now) {
      auto work = std::move(next->second.Work);
      FItems.erase(next);
      lock.unlock();
      work();
      ++ran;
      lock.lock();
      continue;
    }
    if (ran > 0 || now >= deadline) return ran;
    const auto wakeAt = next == FItems.end() ? deadline : std::min(deadline, next->second.Due);
    FCond.wait_until(lock, wakeAt);
  }
}

bool TSimpleMainThreadScheduler::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = TClock::now() + timeout;
  while (!done()) {
    const auto now = TClock::now();
    if (now >= deadline) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
    ProcessFor(std::min(left, std::chrono::milliseconds(10)));
  }
  return true;
}

size_t TSimpleMainThreadScheduler::Pending() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FItems.size();
}

TSimpleMainThreadScheduler& DefaultMainThreadScheduler() {
  static TSimpleMainThreadScheduler scheduler;
  return scheduler;
}

}  // namespace fennick
