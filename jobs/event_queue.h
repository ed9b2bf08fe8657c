// An executor for owners without an event loop of their own (the command
// line, tests): work posted from any thread runs on the thread that calls
// RunPending, in the order it was posted.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "jobs/conversion_run.h"

namespace fennick {

class TEventQueue {
 public:
  // Any thread.
  void Post(std::function<void()> work);
  // Runs what has been posted, waiting up to `wait` for something to come;
  // returns how much it ran.
  int RunPending(std::chrono::milliseconds wait);
  // Post, as a run's executor; the queue must outlive what it is given to.
  TExecutor Executor() {
    return [this](std::function<void()> work) { Post(std::move(work)); };
  }

 private:
  std::mutex FLock;
  std::condition_variable FPosted;
  std::deque<std::function<void()>> FWork;  // guarded by FLock
};

}  // namespace fennick
