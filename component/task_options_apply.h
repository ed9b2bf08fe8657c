// Turning the task records into engine settings: every field goes through the
// engine's option handlers (or, for the few that have no option form, straight
// into its settings) before the component opens the file. Handler refusals
// (FFMpegException, EConvertError) propagate to the caller, which reports them
// as the component's last error. The caller's record is never changed.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "component/task_options.h"
#include "engine/FFmpeg.h"

namespace fennick {

// Where a task's video frames are offered while it runs.
enum class THookChoice { None, Custom, Before };

struct TOutputApplyResult {
  std::string FileName;  // the file to open
  THookChoice Hook = THookChoice::None;
};

// Feeds the name=value lines of an ExtOptions text to the option dispatcher.
void ApplyExtOptions(TCustomFFmpeg& engine, const std::string& text);

// Applies an input record; returns the file name to open (the record's own
// name, or `fileName` when the record has none).
std::string ApplyInputOptions(TCustomFFmpeg& engine, TInputOptions record, const std::string& fileName);

// Applies an output record: ExtOptions first, then the fields, the target
// preset and the hook choice.
TOutputApplyResult ApplyOutputOptions(TCustomFFmpeg& engine, const TOutputOptions& record,
                                      const std::string& fileName);

// ---- the parsing and conversion steps on their own

// The (name, value) pairs of an ExtOptions text, in order: the text trimmed,
// CR, LF and CRLF each one line break, each line split at its first "="
// (no "=": empty value), neither part trimmed. Empty lines carry no option
// and are left out.
std::vector<std::pair<std::string, std::string>> SplitExtOptions(const std::string& text);

// Comma-separated "start-end" pieces in milliseconds to microsecond ranges:
// malformed numbers count as -1; kept when end >= start and end >= 0; sorted
// by ascending end.
std::vector<THookTimeRange> ParseHookTimeRanges(const std::string& text);

// A local date-time (days since 1899-12-30) to whole seconds since 1970 UTC,
// with the time-zone bias in minutes (UTC = local + bias).
int64_t TimestampToUnixSeconds(double localDateTime, int biasMinutes);
// The current time-zone bias in minutes, from the C library's UTC offset.
int CurrentTimeZoneBias();
// The current local date-time as days since 1899-12-30.
double NowAsLocalDateTime();

}  // namespace fennick
