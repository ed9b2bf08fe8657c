// The texts a file-list row shows for a probed source: video size, frame
// rate and duration. Shared by the window's list and the command line's
// --probe; plain values in, display texts out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fennick {

class TAVProbe;

struct TRowTexts {
  std::string VideoSize;  // "640x480"; " " without video; empty after a failed probe
  std::string FrameRate;  // "29.97"; " " without video; empty after a failed probe
  std::string Duration;   // "00:03:25" or "Unknown"; empty after a failed probe
  // Not a cell: the first video stream's display aspect (sample aspect x
  // width / height), kept with the row for the "Original" aspect of its
  // job; -1 without video or after a failed probe.
  float DisplayAspect = -1.0f;
};

// A number in the shortest general form: at most 15 significant digits, no
// trailing zeros, "." as decimal separator whatever the locale. For texts
// handed to the engine.
std::string FormatGeneral(double value);
// The same with the decimal separator of the user's locale, for the list's
// display cells.
std::string FormatGeneralForDisplay(double value);

// Hours, minutes and seconds of x seconds, each at least two digits, joined
// by separator: 7205 gives "02:00:05", 360000 gives "100:00:00".
std::string FormatDuration(char separator, double seconds);

// A size as people read it: "1.5 MB", "820 kB", "312 B".
std::string FormatSize(int64_t bytes);

// How fast a conversion goes and how long it has left, from the output time
// it has reached, the expected total and the wall time so far: "1.50x" and
// "00:00:03" ("--:--:--" while that is not known).
struct TConversionPace {
  std::string Speed, Left;
};
TConversionPace ConversionPace(int currentMs, int totalMs, double elapsedSeconds);

// width + "x" + height.
std::string VideoSizeText(int width, int height);
// num/den rounded to two decimals (ties to even): 30000/1001 gives "29.97",
// 25/1 gives "25". A zero denominator gives empty text. A display cell: the
// decimal separator is the user's.
std::string FrameRateText(int num, int den);
// Whole seconds of a duration in microseconds (truncated) as FormatDuration
// text; "Unknown" for a negative duration (the libraries' "no duration").
std::string DurationText(int64_t durationMicroseconds);

// The seconds of a Duration cell ("01:02:03"); nothing for other text
// ("Unknown", empty).
std::optional<double> DurationSeconds(std::string_view text);

// The row texts of a file the probe has opened; a probe without a file
// gives the texts of a failed probe (all empty).
TRowTexts ProbeRowTexts(const TAVProbe& probe);

}  // namespace fennick
