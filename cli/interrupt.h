// Ctrl-C: the first SIGINT (or SIGTERM) only raises a flag that the main
// thread polls to stop the run the way "Stop" does; a second one ends the
// process at once.
#pragma once

namespace fennick::cli {

void InstallInterruptHandler();
bool Interrupted();

}  // namespace fennick::cli
