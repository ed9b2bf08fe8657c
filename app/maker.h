// Who makes the program and where users reach them: the about box, the Help
// menu and the desktop entry take these from here.
#pragma once

#include "fennick_version.h"

namespace fennick {

inline constexpr const char* ProductName = "Fennick Video Converter";
inline constexpr const char* ProductVersionText = "Version " FENNICK_VERSION;
inline constexpr const char* MakerName = "Quarvel";
inline constexpr const char* MakerWebSite = "https://www.quarvel.example/fennick/";
inline constexpr const char* MakerSupportAddress = "support@quarvel.example";

}  // namespace fennick
