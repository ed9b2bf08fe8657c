// Application of the task records to an engine, field by field, through the
// same option handlers the ExtOptions lines reach.
#include "component/task_options_apply.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ctime>
#include <limits>

#include "util/text_util.h"

namespace fennick {

namespace {

std::string IntText(int64_t value) { return std::to_string(value); }

// Shortest text that reads back as the same 32-bit float.
std::string FloatText(float value) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, r.ptr);
}

// Whole milliseconds as a duration text the date parser reads ("S.mmm").
std::string MillisecondsText(int32_t ms) {
  std::string frac = std::to_string(ms % 1000);
  return std::to_string(ms / 1000) + "." + std::string(3 - frac.size(), '0') + frac;
}

// A decimal 64-bit integer with optional sign; -1 when malformed or when the
// value would not survive the scaling to microseconds.
int64_t MillisecondsOrInvalid(const std::string& text) {
  const std::string_view t = Trim(text);
  size_t pos = 0;
  bool negative = false;
  if (pos < t.size() && (t[pos] == '+' || t[pos] == '-')) negative = t[pos++] == '-';
  if (pos >= t.size()) return -1;
  uint64_t magnitude = 0;
  auto r = std::from_chars(t.data() + pos, t.data() + t.size(), magnitude);
  if (r.ec != std::errc() || r.ptr != t.data() + t.size()) return -1;
  constexpr uint64_t kLimit = std::numeric_limits<int64_t>::max() / 1000;
  if (magnitude > kLimit) return -1;
  const int64_t value = static_cast<int64_t>(magnitude);
  return negative ? -value : value;
}

const char* NormText(int32_t normType) {
  switch (normType) {
    case 1: return "pal";
    case 2: return "ntsc";
    default: return "auto";
  }
}

}  // namespace

std::vector<std::pair<std::string, std::string>> SplitExtOptions(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> result;
  const std::string_view trimmed = Trim(text);
  std::string line;
  auto flush = [&] {
    if (!line.empty()) {
      const size_t eq = line.find('=');
      if (eq == std::string::npos)
        result.emplace_back(line, std::string());
      else
        result.emplace_back(line.substr(0, eq), line.substr(eq + 1));
    }
    line.clear();
  };
  for (size_t i = 0; i < trimmed.size(); ++i) {
    const char c = trimmed[i];
    if (c == '\r') {
      if (i + 1 < trimmed.size() && trimmed[i + 1] == '\n') ++i;
      flush();
    } else if (c == '\n') {
      flush();
    } else {
      line += c;
    }
  }
  flush();
  return result;
}

void ApplyExtOptions(TCustomFFmpeg& engine, const std::string& text) {
  for (const auto& [name, value] : SplitExtOptions(text)) engine.ApplyOption(name, value);
}

std::vector<THookTimeRange> ParseHookTimeRanges(const std::string& text) {
  std::vector<THookTimeRange> ranges;
  const std::string_view trimmed = Trim(text);
  if (trimmed.empty()) return ranges;
  size_t start = 0;
  while (true) {
    const size_t comma = trimmed.find(',', start);
    const std::string piece(
        Trim(trimmed.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start)));
    const size_t dash = piece.find('-');
    const std::string startText = dash == std::string::npos ? piece : piece.substr(0, dash);
    const std::string endText = dash == std::string::npos ? std::string() : piece.substr(dash + 1);
    const int64_t from = MillisecondsOrInvalid(startText) * 1000;
    const int64_t to = MillisecondsOrInvalid(endText) * 1000;
    if (to >= from && to >= 0) ranges.push_back({from, to});
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  std::stable_sort(ranges.begin(), ranges.end(),
                   [](const THookTimeRange& a, const THookTimeRange& b) { return a.End < b.End; });
  return ranges;
}

int64_t TimestampToUnixSeconds(double localDateTime, int biasMinutes) {
  const double seconds = std::nearbyint((localDateTime - 25569.0 + biasMinutes / 1440.0) * 86400.0);
  // Dates beyond the 64-bit second range are held at its ends.
  constexpr double kLimit = 9.2e18;
  if (!(seconds < kLimit)) return seconds > 0 ? static_cast<int64_t>(kLimit) : 0;
  if (seconds < -kLimit) return -static_cast<int64_t>(kLimit);
  return static_cast<int64_t>(seconds);
}

int CurrentTimeZoneBias() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return static_cast<int>(-local.tm_gmtoff / 60);
}

double NowAsLocalDateTime() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  std::tm local{};
  localtime_r(&ts.tv_sec, &local);
  const double seconds = static_cast<double>(ts.tv_sec + local.tm_gmtoff) + ts.tv_nsec / 1e9;
  return seconds / 86400.0 + 25569.0;
}

std::string ApplyInputOptions(TCustomFFmpeg& engine, TInputOptions record, const std::string& fileName) {
  if (record.FileName.empty()) record.FileName = fileName;
  ApplyExtOptions(engine, record.ExtOptions);
  if (!record.FileFormat.empty()) engine.SetInputFormat(record.FileFormat);
  const int64_t startTime = static_cast<int64_t>(record.StartTime) * 1000;
  if (startTime > 0) engine.MutableSettings().StartTime = startTime;
  if (record.ProgramID >= 0) engine.MutableSettings().OptProgramId = record.ProgramID;
  if (!record.StreamLanguage.empty()) engine.MutableSettings().InputStreamLanguage = record.StreamLanguage;
  return record.FileName;
}

namespace {

// An encoder's coding choices, as the engine's options.
void ApplyCodingOptions(TCustomFFmpeg& engine, const TOutputOptions& r) {
  auto option = [&engine](const char* name, const std::string& value) {
    if (!value.empty()) engine.ApplyOption(name, value);
  };
  if (r.QualityValue >= 0) {
    if (r.QualityOption != "qscale") engine.ApplyOption("b", "0");
    if (r.VideoCodec.ends_with("_vaapi")) engine.ApplyOption("rc_mode", "CQP");
    engine.ApplyOption(r.QualityOption, IntText(r.QualityValue));
  }
  option("preset", r.SpeedPreset);
  option("deadline", r.SpeedDeadline);
  if (r.SpeedCpuUsed >= 0) engine.ApplyOption("cpu-used", IntText(r.SpeedCpuUsed));
  option("pix_fmt", r.PixelFormat);
  option("x265-params", r.EncoderParams);
  if (r.RowThreads) engine.ApplyOption("row-mt", "1");
  if (r.FastStart) engine.ApplyOption("movflags", "+faststart");
  if (r.KeepSourceTags) engine.ApplyOption("map_meta_data", "0:0");
}

}  // namespace

TOutputApplyResult ApplyOutputOptions(TCustomFFmpeg& engine, const TOutputOptions& r, const std::string& fileName) {
  TOutputApplyResult result;
  result.FileName = r.FileName.empty() ? fileName : r.FileName;

  ApplyExtOptions(engine, r.ExtOptions);
  ApplyCodingOptions(engine, r);

  auto option = [&engine](const char* name, const std::string& value) { engine.ApplyOption(name, value); };
  auto positive = [&option](const char* name, int32_t value) {
    if (value > 0) option(name, IntText(value));
  };
  auto notNegative = [&option](const char* name, int32_t value) {
    if (value >= 0) option(name, IntText(value));
  };
  auto text = [&option](const char* name, const std::string& value) {
    if (!value.empty()) option(name, value);
  };
  auto flag = [&option](const char* name, bool on) {
    if (on) option(name, "");
  };

  if (!r.FileFormat.empty()) engine.SetOutputFormat(r.FileFormat);
  positive("packetsize", r.PacketSize);
  positive("muxrate", r.MuxRate);
  if (r.MuxDelay > 0) option("muxdelay", FloatText(r.MuxDelay));
  if (r.MuxPreload > 0) option("muxpreload", FloatText(r.MuxPreload));
  text("acodec", r.AudioCodec);
  flag("an", r.DisableAudio);
  notNegative("vol", r.AudioVolume);
  positive("ac", r.AudioChannels);
  positive("ar", r.AudioSampleRate);
  positive("ab", r.AudioBitrate);
  positive("abt", r.AudioBitrateTolerance);
  option("alang", r.AudioLanguage);
  option("async", IntText(r.AudioSync));
  text("atag", r.AudioTag);
  text("vcodec", r.VideoCodec);
  flag("vn", r.DisableVideo);
  text("r", r.FrameRate);
  text("s", r.FrameSize);
  text("aspect", r.AspectRatio);
  notNegative("croptop", r.CropTop);
  notNegative("cropbottom", r.CropBottom);
  notNegative("cropleft", r.CropLeft);
  notNegative("cropright", r.CropRight);
  notNegative("padtop", r.PadTop);
  notNegative("padbottom", r.PadBottom);
  notNegative("padleft", r.PadLeft);
  notNegative("padright", r.PadRight);
  // No system colour palette here: the colour is its RGB bytes.
  engine.SetPadColor(r.PadColor & 0x00FFFFFF);
  positive("gop", r.GopSize);
  positive("vb", r.VideoBitrate);
  positive("maxrate", r.MaxRate);
  positive("minrate", r.MinRate);
  positive("bt", r.BitrateTolerance);
  positive("bufsize", r.BufferSize);
  option("vsync", IntText(r.VideoSync));
  text("vtag", r.VideoTag);
  flag("sn", r.DisableSubtitle);
  option("slang", r.SubtitleLanguage);
  if (r.AudioStream >= 0) engine.MutableSettings().AudioSourceStream = r.AudioStream;
  if (r.KeepSubtitles) engine.MutableSettings().KeepSubtitles = true;
  // "copyts" as an option can only switch on; the record sets it either way.
  engine.MutableSettings().CopyTs = r.CopyTimestamps;
  if (r.Duration > 0) option("t", MillisecondsText(r.Duration));
  if (r.Timestamp >= 0) {
    const double when = r.Timestamp == 0 ? NowAsLocalDateTime() : r.Timestamp;
    engine.MutableSettings().RecordingTimestamp = TimestampToUnixSeconds(when, CurrentTimeZoneBias());
  }
  if (r.Year > 0) engine.MutableSettings().Year = r.Year;
  if (r.Track > 0) engine.MutableSettings().Track = r.Track;
  text("title", FixedText(r.Title));
  text("author", FixedText(r.Author));
  text("copyright", FixedText(r.RightsText));
  text("comment", FixedText(r.Comment));
  text("album", FixedText(r.Album));
  text("genre", FixedText(r.Genre));

  static const char* const kTargets[] = {"vcd", "svcd", "dvd"};
  if (r.Target >= 1 && r.Target <= 3)
    engine.ApplyTarget(kTargets[r.Target - 1], NormText(r.NormType), r.NormDefault == 1 ? "pal" : "ntsc");

  if (r.CustomHook)
    result.Hook = THookChoice::Custom;
  else if (r.BeforeHook)
    result.Hook = THookChoice::Before;
  else
    engine.SetHookTimeRanges(ParseHookTimeRanges(r.HookTimeRanges));
  return result;
}

}  // namespace fennick
