// "Run this on the main thread after N ms": the component's one-shot timers
// for tasks that run synchronously. The window supplies an implementation on
// its event loop; headless callers use TSimpleMainThreadScheduler and pump it
// from their main thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

namespace fennick {

class TMainThreadScheduler {
 public:
  using TTimerId = uint64_t;
  virtual ~TMainThreadScheduler() = default;
  // Runs `work` once on the main thread, `delayMs` after now. Callable from
  // any thread.
  virtual TTimerId Schedule(int delayMs, std::function<void()> work) = 0;
  // Drops a scheduled run that has not started yet; no effect otherwise.
  virtual void Cancel(TTimerId id) = 0;
};

// A queue of timed work run by whichever thread pumps it (that thread is the
// "main thread" of a headless program or a test).
class TSimpleMainThreadScheduler : public TMainThreadScheduler {
 public:
  TTimerId Schedule(int delayMs, std::function<void()> work) override;
  void Cancel(TTimerId id) override;

  // Runs the work that is due, waiting up to `maxWait` for the next item to
  // fall due. Returns how many items ran.
  int ProcessFor(std::chrono::milliseconds maxWait);
  // Pumps until `done` holds (checked at least every 10 ms) or `timeout`
  // passes; returns whether `done` held.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  size_t Pending() const;

 private:
  using TClock = std::chrono::steady_clock;
  struct TItem {
    TClock::time_point Due;
    std::function<void()> Work;
  };
  mutable std::mutex FLock;
  std::condition_variable FCond;
  std::map<TTimerId, TItem> FItems;  // guarded by FLock
  TTimerId FNextId = 1;              // guarded by FLock
};

// The scheduler a component uses until it is given another.
TSimpleMainThreadScheduler& DefaultMainThreadScheduler();

}  // namespace fennick
