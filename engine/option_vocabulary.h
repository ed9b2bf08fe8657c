// What front ends that read option lines need to know of the engine's option
// vocabulary (options.cpp). No codec-library header.
#pragma once

#include <string_view>

namespace fennick {

// Whether `name` is an option of the vocabulary that takes no value (a
// switch such as "y" or "vn").
bool IsSwitchOption(std::string_view name);

}  // namespace fennick
