#include "jobs/event_queue.h"

namespace fennick {

void TEventQueue::Post(std::function<void()> work) {
  {
    std::lock_guard<std::mutex> guard(FLock);
    FWork.push_back(std::move(work));
  }
  FPosted.notify_one();
}

int TEventQueue::RunPending(std::chrono::milliseconds wait) {
  std::deque<std::function<void()>> work;
  {
    std::unique_lock<std::mutex> guard(FLock);
    FPosted.wait_for(guard, wait, [this] { return !FWork.empty(); });
    work.swap(FWork);
  }
  // Outside the lock: the work may post more, which the next call runs.
  for (auto& w : work) w();
  return static_cast<int>(work.size());
}

}  // namespace fennick
