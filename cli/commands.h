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
inline constexpr int ExitInterrupted = 130;

// Loads the codec libraries through the system search; prints the reason
// and returns false when they cannot be loaded.
bool LoadCodecs(TFFmpegVCL& vcl);

int ListFormatsCommand();
int ProbeCommand(const TCliArguments& arguments);
// Raises EUsageError for a format name or settings item the catalogue does
// not offer.
int ConvertCommand(const TCliArguments& arguments);
int EngineCommand(const TCliArguments& arguments);

}  // namespace fennick::cli
