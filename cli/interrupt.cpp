#include "cli/interrupt.h"

#include <csignal>

namespace fennick::cli {

namespace {

volatile std::sig_atomic_t g_Interrupted = 0;

extern "C" void OnInterrupt(int signal) {
  g_Interrupted = 1;
  std::signal(signal, SIG_DFL);
}

}  // namespace

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool Interrupted() { return g_Interrupted != 0; }

}  // namespace fennick::cli
