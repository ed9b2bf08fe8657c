#include "jobs/row_texts.h"

#include <cstdio>

#include "component/AVProbe.h"
#include "util/text_util.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace fennick {

std::string FormatGeneral(double value) {
  if (value == 0) return "0";  // also turns -0 into "0"
  // to_chars is printf's "%.15g" in the "C" locale, whatever the process's.
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
  return std::string(text, result.ptr);
}

std::string FormatGeneralForDisplay(double value) {
  if (value == 0) return "0";
  return FormatText("%.15g", value);  // LC_NUMERIC's separator
}

namespace {

std::string TwoDigits(long long value) { return FormatText("%02lld", value); }

}  // namespace

std::string FormatDuration(char separator, double x) {
  // Minutes are a 32-bit count; durations beyond it saturate.
  double m = std::trunc(x / 60);
  if (!(m >= INT32_MIN)) m = INT32_MIN;
  if (m > INT32_MAX) m = INT32_MAX;
  long long wholeMinutes = static_cast<int32_t>(m);
  // nearbyint follows the default rounding mode: half to even. A fraction
  // that rounds up to a whole minute carries into the minutes.
  auto seconds = static_cast<long long>(std::nearbyint(x - wholeMinutes * 60.0));
  if (seconds >= 60) {
    seconds -= 60;
    ++wholeMinutes;
  }
  const long long hours = wholeMinutes / 60, minutes = wholeMinutes % 60;
  return TwoDigits(hours) + separator + TwoDigits(minutes) + separator + TwoDigits(seconds);
}

std::string VideoSizeText(int width, int height) { return std::to_string(width) + "x" + std::to_string(height); }

std::string FrameRateText(int num, int den) {
  if (den == 0) return "";
  const auto rate = static_cast<double>(static_cast<long double>(num) / den);
  return FormatGeneralForDisplay(std::nearbyint(rate * 100) / 100);
}

std::string DurationText(int64_t durationMicroseconds) {
  const int64_t seconds = durationMicroseconds / 1000000;
  const std::string text = FormatDuration(':', static_cast<double>(seconds));
  return text.find('-') == std::string::npos ? text : "Unknown";
}

std::optional<double> DurationSeconds(std::string_view text) {
  int hours = 0, minutes = 0, seconds = 0;
  char end = 0;
  if (std::sscanf(std::string(text).c_str(), "%d:%d:%d%c", &hours, &minutes, &seconds, &end) != 3) return std::nullopt;
  if (hours < 0 || minutes < 0 || minutes > 59 || seconds < 0 || seconds > 59) return std::nullopt;
  return hours * 3600.0 + minutes * 60.0 + seconds;
}

TRowTexts ProbeRowTexts(const TAVProbe& probe) {
  TRowTexts texts;
  if (!probe.Loaded()) return texts;
  if (probe.VideoStreamCount() > 0) {
    TProbeVideoInfo video;
    probe.GetVideoInfo(video);
    texts.VideoSize = VideoSizeText(video.Width, video.Height);
    texts.FrameRate = FrameRateText(video.FrameRateNum, video.FrameRateDen);
    texts.DisplayAspect = video.DisplayAspect;
  } else {
    texts.VideoSize = texts.FrameRate = " ";
  }
  TProbeFileInfo file;
  probe.GetFileInfo(file);
  texts.Duration = DurationText(file.Duration);
  return texts;
}

std::string FormatSize(int64_t bytes) {
  if (bytes >= 1000 * 1000) return FormatText("%.1f MB", static_cast<double>(bytes) / 1e6);
  if (bytes >= 1000) return FormatText("%lld kB", static_cast<long long>(bytes / 1000));
  return FormatText("%lld B", static_cast<long long>(std::max<int64_t>(bytes, 0)));
}

TConversionPace ConversionPace(int currentMs, int totalMs, double elapsedSeconds) {
  const double fraction = totalMs > 0 ? std::clamp(static_cast<double>(currentMs) / totalMs, 0.0, 1.0) : 0.0;
  TConversionPace pace;
  pace.Left = "--:--:--";
  if (totalMs > 0 && fraction > 0 && elapsedSeconds > 0)
    pace.Left = FormatDuration(':', elapsedSeconds * (1 - fraction) / fraction);
  pace.Speed = FormatText("%.2fx", elapsedSeconds > 0 ? currentMs / 1000.0 / elapsedSeconds : 0.0);
  return pace;
}

}  // namespace fennick
