#include "cli/interrupt.h"

#include <chrono>
#include <csignal>

namespace fennick::cli {

namespace {

volatile std::sig_atomic_t g_Signal = 0;

extern "C" void OnInterrupt(int signal) {
  if (g_Signal == 0) g_Signal = signal;
  // The next SIGINT or SIGTERM ends the process.
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
}

}  // namespace

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool Interrupted() { return g_Signal != 0; }

int InterruptSignal() { return g_Signal; }

TInterruptWatch::TInterruptWatch(std::function<void()> onInterrupt) {
  FThread = std::thread([this, onInterrupt = std::move(onInterrupt)] {
    std::unique_lock<std::mutex> lock(FLock);
    while (!FEnding) {
      if (Interrupted()) {
        lock.unlock();
        onInterrupt();
        return;
      }
      FEnd.wait_for(lock, std::chrono::milliseconds(50));
    }
  });
}

TInterruptWatch::~TInterruptWatch() {
  {
    std::lock_guard<std::mutex> lock(FLock);
    FEnding = true;
  }
  FEnd.notify_all();
  FThread.join();
}

}  // namespace fennick::cli
