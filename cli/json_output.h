// JSON lines for --json: one object per line, written whole.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "util/json.h"

namespace fennick::cli {

// The JSON writing of every layer, under the names the command line's
// code and tests use.
using ::fennick::JsonString;
using ::fennick::TJsonObject;

// Writes one line to stdout and flushes it (nothing once stdout's reader has
// gone); safe from any thread.
void WriteJsonLine(const TJsonObject& object);

}  // namespace fennick::cli
