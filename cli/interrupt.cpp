#include "cli/interrupt.h"

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

}  // namespace fennick::cli
