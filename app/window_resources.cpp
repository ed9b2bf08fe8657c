#include "app/window_resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE names a function outside any namespace.
static void InitFennickResources() { Q_INIT_RESOURCE(fennick); }

namespace fennick {

void InitWindowResources() {
  static const bool done = (InitFennickResources(), true);
  (void)done;
}

}  // namespace fennick
