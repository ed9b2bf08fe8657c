// The commands of fennick-convert; each returns the process exit status.
#pragma once

#include "cli/arguments.h"

namespace fennick {
class TFFmpegVCL;
}

namespace fennick::cli {

inline constexpr int ExitOk = 0;
inline constexpr int ExitFailed = 1;
inline constexpr int ExitUsage = 2;
// A stop by a signal exits with 128 + its number: 130 for Ctrl-C (SIGINT),
// 143 for SIGTERM.
inline constexpr int ExitSignalBase = 128;

// Loads the codec libraries through the system search; prints the reason
// and returns false when they cannot be loaded.
bool LoadCodecs(TFFmpegVCL& vcl);

int ListFormatsCommand();
// The short names of the offered formats, lower case, each once, in list
// order.
int ListShortNamesCommand();
// Each settings list of the format (resolved as -f does) with its items,
// the default marked. Raises EUsageError for a format it cannot resolve.
int ListSettingsCommand(const TCliArguments& arguments);
int ProbeCommand(const TCliArguments& arguments);
// Raises EUsageError for a format name or settings item the catalogue does
// not offer.
int ConvertCommand(const TCliArguments& arguments);
int EngineCommand(const TCliArguments& arguments);

}  // namespace fennick::cli
