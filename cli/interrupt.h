// Ctrl-C and SIGTERM: the first SIGINT or SIGTERM only records the signal,
// which the main thread polls to stop the run the way "Stop" does; a second
// one ends the process at once.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace fennick::cli {

void InstallInterruptHandler();
bool Interrupted();
// The signal that stopped the run (SIGINT, SIGTERM), or 0.
int InterruptSignal();

// While it lives, a thread of its own turns the first Ctrl-C (or SIGTERM) into
// one call of `onInterrupt`: for the stretches in which the main thread is
// busy and cannot poll (opening an input may read for a long time).
class TInterruptWatch {
 public:
  explicit TInterruptWatch(std::function<void()> onInterrupt);
  ~TInterruptWatch();
  TInterruptWatch(const TInterruptWatch&) = delete;
  TInterruptWatch& operator=(const TInterruptWatch&) = delete;

 private:
  std::mutex FLock;
  std::condition_variable FEnd;
  bool FEnding = false;  // guarded by FLock
  std::thread FThread;
};

}  // namespace fennick::cli
