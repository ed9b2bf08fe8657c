// The window's pictures (icons/*.svg, compiled in). A static library's
// resources must be registered once before use.
#pragma once

namespace fennick {

void InitWindowResources();

}  // namespace fennick
