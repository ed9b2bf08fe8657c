// Ctrl-C and SIGTERM: the first SIGINT or SIGTERM only records the signal,
// which the main thread polls to stop the run the way "Stop" does; a second
// one ends the process at once.
#pragma once

namespace fennick::cli {

void InstallInterruptHandler();
bool Interrupted();
// The signal that stopped the run (SIGINT, SIGTERM), or 0.
int InterruptSignal();

}  // namespace fennick::cli
