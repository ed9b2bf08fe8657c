#include "profiles/profile_translation.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <numeric>
#include <string_view>
#include <utility>
#include <vector>

#include "profiles/format_limits.h"

namespace fennick {

namespace {

std::string Lower(std::string_view text) {
  std::string result(text);
  for (char& ch : result)
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  return result;
}

using TNamePair = std::pair<std::string_view, std::string_view>;

constexpr std::array<TNamePair, 3> DeviceVideoEncoders = {{
    {"mpeg4", "mpeg4"},
    {"h264", "libx264"},
    {"xvid", "libxvid"},
}};

constexpr std::array<TNamePair, 5> CodecVideoEncoders = {{
    {"mpeg4", "mpeg4"},
    {"h264", "libx264"},
    {"xvid", "libxvid"},
    {"wmv2x", "wmv2"},
    {"mpeg4_qt", "mpeg4"},
}};

// First match wins; a result is never looked up again ("m4a" stays "mpeg4aac").
constexpr std::array<TNamePair, 12> CodecAudioEncoders = {{
    {"aac", "libfaac"},
    {"ac3", "ac3"},
    {"flac", "flac"},
    {"asf", "mp3"},
    {"mp3", "libmp3lame"},
    {"m4a", "mpeg4aac"},
    {"mpeg4aac", "libfaac"},
    {"ra", "ac3"},
    {"wma7x", "wmav2"},
    {"wav", "pcm_s16le"},
    {"mpeg4aac_qt", "libfaac"},
    {"amr_nb", "libamr_nb"},
}};

// "ogg" is the Ogg Vorbis audio row: without it a source's video would be
// encoded into the .ogg file with the muxer's default video codec. "asf" is
// not here: the ASF entry is a video format with video settings of its own.
// "flac" and "opus" are the lossless and Opus audio formats of today.
constexpr std::array<std::string_view, 13> AudioOnlyFormats = {"aac", "ac3", "au",  "mp2", "mp3",  "wav", "wma",
                                                               "ra",  "m4a", "amr", "ogg", "flac", "opus"};

// The encoders of the formats of today, by the lower-case item.
constexpr std::array<TNamePair, 7> QualityVideoEncoders = {{
    {"h.264", "libx264"},
    {"h.265", "libx265"},
    {"av1", "libsvtav1"},
    {"vp9", "libvpx-vp9"},
    {"mpeg4", "mpeg4"},
    {"h.264 (hardware)", "h264_vaapi"},
    {"h.265 (hardware)", "hevc_vaapi"},
}};
constexpr std::array<TNamePair, 6> QualityAudioEncoders = {{
    {"aac", "aac"},
    {"opus", "libopus"},
    {"flac", "flac"},
    {"ac3", "ac3"},
    {"mp3", "libmp3lame"},
    {"alac", "alac"},
}};

// The quality levels' items, best first, and the encoder speeds' items.
constexpr std::array<std::string_view, 4> QualityLevelItems = {"Best", "High", "Medium", "Small"};
constexpr std::array<std::string_view, 3> SpeedItems = {"Faster", "Balanced", "Smaller Files"};

// Each encoder's constant-quality setting for the levels Best to Small
// (crf: lower is better; for MPEG-4 its quantiser scale). Chosen on a 720p
// clip so that each level gives a smaller file than the one before and
// "High" is as good as the source to the eye (38 dB PSNR or more).
// libvpx-vp9 codes pure constant quality: its bit rate is 0, not a cap.
struct TQualityCoding {
  std::string_view Encoder;
  std::string_view Option;
  std::array<int, 4> Levels;
};
constexpr std::array<TQualityCoding, 7> QualityCodings = {{
    {"libx264", "crf", {18, 21, 24, 28}},
    {"libx265", "crf", {20, 24, 28, 32}},
    {"libvpx-vp9", "crf", {24, 31, 36, 42}},
    {"libsvtav1", "crf", {24, 30, 36, 44}},
    {"mpeg4", "qscale", {2, 3, 5, 8}},
    {"h264_vaapi", "qp", {18, 22, 26, 30}},
    {"hevc_vaapi", "qp", {20, 24, 28, 32}},
}};

// Each encoder's preset for the speeds Faster, Balanced and Smaller Files:
// its preset, or libvpx's deadline and cpu-used.
struct TSpeedCoding {
  std::string_view Encoder;
  std::array<std::string_view, 3> Presets;
  std::array<std::string_view, 3> Deadlines;
  std::array<int, 3> CpuUsed;
};
constexpr std::array<TSpeedCoding, 4> SpeedCodings = {{
    {"libx264", {"veryfast", "medium", "slow"}, {}, {-1, -1, -1}},
    {"libx265", {"veryfast", "medium", "slow"}, {}, {-1, -1, -1}},
    {"libvpx-vp9", {}, {"realtime", "good", "good"}, {8, 4, 1}},
    {"libsvtav1", {"12", "8", "6"}, {}, {-1, -1, -1}},
}};

// What every conversion with the encoder gets: 4:2:0 pictures, which every
// player decodes (a 4:2:2 or 4:4:4 source would otherwise keep its layout,
// in a profile few players take), libvpx's threads over rows, and x265's
// report on the terminal kept to its errors.
void SetEncoderDefaults(TOutputOptions& options) {
  const std::string& encoder = options.VideoCodec;
  if (encoder == "libx265" || encoder == "libx264" || encoder == "libsvtav1" || encoder == "libvpx-vp9")
    options.PixelFormat = "yuv420p";
  if (encoder == "libx265") options.EncoderParams = "log-level=error";
  if (encoder == "libvpx-vp9") options.RowThreads = true;
}

template <size_t N>
int IndexOfItem(const std::array<std::string_view, N>& items, std::string_view text) {
  for (size_t i = 0; i < N; ++i)
    if (items[i] == text) return static_cast<int>(i);
  return -1;
}

template <size_t N>
std::string MapName(const std::array<TNamePair, N>& table, std::string_view text) {
  std::string lower = Lower(text);
  for (const TNamePair& pair : table)
    if (lower == pair.first) return std::string(pair.second);
  return lower;
}

// Size items that keep the source size.
bool KeepsSourceSize(std::string_view sizeText) { return sizeText == "Original Video Size" || sizeText == "Auto"; }

// The parsed numbers of one translation, all read before the record is
// touched so that a malformed setting leaves it as it was.
struct TParsedRates {
  int32_t VideoBitrate;
  int32_t AudioBitrate;
  int32_t SampleRate;
};

TParsedRates ParseRates(const std::string& videoBitrate, const std::string& audioBitrate,
                        const std::string& sampleRate) {
  return {ParseSettingInteger(videoBitrate), ParseSettingInteger(audioBitrate), ParseSettingInteger(sampleRate)};
}

void WriteRates(const TParsedRates& rates, TOutputOptions& options) {
  options.VideoBitrate = rates.VideoBitrate;
  options.AudioBitrate = rates.AudioBitrate;
  options.AudioSampleRate = rates.SampleRate;
}

// "15.0" as "15", "12.5" as "25/2": the engine's rate parser reads a
// decimal separator by the process's locale, a fraction of integers never.
// Anything else is passed on unchanged for the engine to judge.
std::string DecimalAsFraction(const std::string& number) {
  const size_t dot = number.find('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == number.size() || number.size() > 15) return number;
  const std::string digits = number.substr(0, dot) + number.substr(dot + 1);
  int64_t num = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), num);
  if (ec != std::errc() || end != digits.data() + digits.size() || num <= 0) return number;
  int64_t den = 1;
  for (size_t i = dot + 1; i < number.size(); ++i) den *= 10;
  const int64_t g = std::gcd(num, den);
  num /= g;
  den /= g;
  return den == 1 ? std::to_string(num) : std::to_string(num) + "/" + std::to_string(den);
}

void WriteFrameRate(const TProfileControls& c, TOutputOptions& options) {
  std::string rate = GetFrameRate(c.ComboVideoFramerate.Text());
  if (!rate.empty()) options.FrameRate = rate;
}

int ChosenChannels(const TProfileControls& c) { return c.ComboAudioChannels.Text() == "Stereo" ? 2 : 1; }

// ---- what the format cannot take

// One kind of setting that the encoder, or the DVD player, may not take:
// the list it comes from, whether a record translated from the settings is
// acceptable in that respect, and how the refusal starts ("H263 video cannot
// be coded at").
struct TSettingCheck {
  TSettingsControl TProfileControls::*Control;
  bool (*Takes)(const TProfileControls&, const TOutputOptions&);
  std::string (*Refusal)(const TProfileControls&);
};

bool IsDvd(const TProfileControls& c) { return c.FOutputFormatName == "VOB"; }

// An item as the message shows it: blanks collapsed, in quotes.
std::string Quoted(std::string_view item) {
  std::string text = "\"";
  for (char ch : item)
    if (ch != ' ' || (text.back() != ' ' && text.back() != '"')) text += ch;
  while (text.back() == ' ') text.pop_back();
  return text + "\"";
}

std::pair<int, int> ReadFrameSize(const std::string& size) {
  const size_t x = size.find('x');
  int width = 0, height = 0;
  if (x == std::string::npos) return {0, 0};
  const auto w = std::from_chars(size.data(), size.data() + x, width);
  const auto h = std::from_chars(size.data() + x + 1, size.data() + size.size(), height);
  if (w.ec != std::errc() || w.ptr != size.data() + x || h.ec != std::errc() || h.ptr != size.data() + size.size())
    return {0, 0};
  return {width, height};
}

// A DVD's picture size and rate go together: its norm is that of the
// size, so a rate of the other norm is refused rather than replaced.
const std::array<TSettingCheck, 5> kSettingChecks = {{
    {&TProfileControls::ComboVideoSize,
     [](const TProfileControls& c, const TOutputOptions& o) {
       if (o.DisableVideo) return true;
       const auto [width, height] = ReadFrameSize(o.FrameSize);
       if (IsDvd(c)) return DvdTakesFrameSize(width, height);
       return o.FrameSize.empty() || width <= 0 || EncoderTakesFrameSize(o.VideoCodec, width, height);
     },
     [](const TProfileControls& c) {
       return (IsDvd(c) ? std::string("DVD") : c.ComboVideoCodec.Text()) + " video cannot be coded at " +
              Quoted(c.ComboVideoSize.Text());
     }},
    {&TProfileControls::ComboVideoFramerate,
     [](const TProfileControls& c, const TOutputOptions& o) {
       if (o.DisableVideo) return true;
       if (IsDvd(c)) return DvdTakesFrameRate(ReadFrameSize(o.FrameSize).second, o.FrameRate);
       return EncoderTakesFrameRate(o.VideoCodec, o.FrameRate);
     },
     [](const TProfileControls& c) {
       if (IsDvd(c)) {
         const int height = ReadFrameSize(GetFrameSize(c.ComboVideoSize.Text())).second;
         return "DVD video at " + Quoted(c.ComboVideoSize.Text()) + " (" + std::string(DvdNorm(height)) +
                ") cannot be coded at " + Quoted(c.ComboVideoFramerate.Text());
       }
       return c.ComboVideoCodec.Text() + " video cannot be coded at " + Quoted(c.ComboVideoFramerate.Text());
     }},
    {&TProfileControls::ComboSamplingRate,
     [](const TProfileControls& c, const TOutputOptions& o) {
       return EncoderTakesSampleRate(o.AudioCodec, o.AudioSampleRate) &&
              (!IsDvd(c) || DvdTakesSampleRate(o.AudioSampleRate));
     },
     [](const TProfileControls& c) {
       return (IsDvd(c) ? std::string("DVD") : c.ComboAudioCodec.Text()) + " audio cannot be sampled at " +
              Quoted(c.ComboSamplingRate.Text());
     }},
    {&TProfileControls::ComboAudioChannels,
     [](const TProfileControls&, const TOutputOptions& o) {
       return EncoderTakesChannels(o.AudioCodec, o.AudioChannels);
     },
     [](const TProfileControls& c) {
       return c.ComboAudioCodec.Text() + " audio cannot be " + Quoted(c.ComboAudioChannels.Text());
     }},
    {&TProfileControls::ComboAudioBitrate,
     [](const TProfileControls&, const TOutputOptions& o) {
       return EncoderTakesBitRate(o.AudioCodec, o.AudioBitrate, o.AudioSampleRate, o.AudioChannels);
     },
     [](const TProfileControls& c) {
       return c.ComboAudioCodec.Text() + " audio at " + Quoted(c.ComboSamplingRate.Text()) + ", " +
              Quoted(c.ComboAudioChannels.Text()) + " cannot take " + Quoted(c.ComboAudioBitrate.Text());
     }},
}};

// Raises EProfileSettingRefused for the first check the translated record
// fails, naming the items of that list that would pass with the other
// settings as they are.
void RefuseWhatTheFormatCannotTake(const TheAVCodec& row, const TProfileControls& c, const TOutputOptions& translated) {
  for (const TSettingCheck& check : kSettingChecks) {
    if (check.Takes(c, translated)) continue;
    std::vector<std::string> takes;
    const TSettingsControl& list = c.*check.Control;
    for (int i = 0; i < list.Count(); ++i) {
      TProfileControls other = c;
      (other.*check.Control).SetItemIndex(i);
      TOutputOptions options;
      InitOutputOptions(options);
      try {
        row.Translate(other, options);
      } catch (const EProfileConvertError&) {
        continue;
      }
      if (check.Takes(other, options)) takes.push_back(Quoted(list.Items()[i]));
    }
    std::string message = check.Refusal(c) + "; ";
    if (takes.empty()) throw EProfileSettingRefused(message + "none of the offered items fits");
    message += "it takes ";
    for (size_t i = 0; i < takes.size(); ++i)
      message += (i == 0 ? "" : i + 1 == takes.size() ? " or " : ", ") + takes[i];
    throw EProfileSettingRefused(message);
  }
}

}  // namespace

std::string LeadingNumber(std::string_view text) {
  size_t blank = text.find(' ');
  return blank == std::string_view::npos ? std::string() : std::string(text.substr(0, blank));
}

int32_t ParseSettingInteger(std::string_view text) {
  std::string value(text);
  size_t digits = value.empty() || (value[0] != '+' && value[0] != '-') ? 0 : 1;
  bool valid = digits < value.size();
  for (size_t i = digits; valid && i < value.size(); ++i) valid = value[i] >= '0' && value[i] <= '9';
  if (valid) {
    errno = 0;
    long long number = std::strtoll(value.c_str(), nullptr, 10);
    if (errno == 0 && number >= INT32_MIN && number <= INT32_MAX) return static_cast<int32_t>(number);
  }
  throw EProfileConvertError("'" + value + "' is not a valid integer value");
}

std::string GetFrameSize(std::string_view sizeText) {
  std::string_view size = sizeText.substr(0, sizeText.find('('));
  if (size == "Original Video Size") return "original";
  std::string result;
  for (char ch : size)
    if (ch != ' ') result += ch;
  return result;
}

std::string GetFrameRate(std::string_view rateText) {
  if (rateText == "Auto") return std::string();
  std::string number = LeadingNumber(rateText);
  if (number == "14.985") return "15000/1001";
  if (number == "23.975" || number == "23.976") return "24000/1001";
  if (number == "29.97") return "30000/1001";
  if (number == "59.94") return "60000/1001";
  return DecimalAsFraction(number);
}

std::string DvdFrameSize(std::string_view frameSize) {
  if (frameSize == "724x480") return "720x480";
  if (frameSize == "724x576") return "720x576";
  return std::string(frameSize);
}

std::string DeviceVideoEncoderName(std::string_view codecText) { return MapName(DeviceVideoEncoders, codecText); }

std::string CodecVideoEncoderName(std::string_view codecText) { return MapName(CodecVideoEncoders, codecText); }

std::string CodecAudioEncoderName(std::string_view codecText) { return MapName(CodecAudioEncoders, codecText); }

bool IsAudioOnlyFormat(std::string_view formatName) {
  std::string lower = Lower(formatName);
  for (std::string_view name : AudioOnlyFormats)
    if (lower == name) return true;
  return false;
}

void SetCodecOptions(const TProfileControls& c, TOutputOptions& options) {
  std::string audioBitrateText = c.ComboAudioBitrate.Text();
  std::string audioBitrate = LeadingNumber(audioBitrateText);
  if (audioBitrateText.find("Kbps") != std::string::npos) audioBitrate += "000";
  TParsedRates rates = ParseRates(LeadingNumber(c.ComboVideoBitrate.Text()) + "000", audioBitrate,
                                  LeadingNumber(c.ComboSamplingRate.Text()));

  options.VideoCodec = CodecVideoEncoderName(c.ComboVideoCodec.Text());
  options.AudioCodec = CodecAudioEncoderName(c.ComboAudioCodec.Text());
  std::string sizeText = c.ComboVideoSize.Text();
  if (!KeepsSourceSize(sizeText)) options.FrameSize = GetFrameSize(sizeText);
  // DVD players take 720-wide full frames only.
  if (c.FOutputFormatName == "VOB") options.FrameSize = DvdFrameSize(options.FrameSize);
  WriteFrameRate(c, options);
  std::string aspect = c.ComboAspectRatio.Text();
  if (aspect != "Original") options.AspectRatio = aspect;
  // The channel choice counts for 3GP as well: AAC carries stereo, and
  // AMR-NB, which is mono only, refuses "Stereo" (RefuseWhatTheFormatCannotTake).
  options.AudioChannels = ChosenChannels(c);
  if (IsAudioOnlyFormat(c.FOutputFormatName)) options.DisableVideo = true;
  WriteRates(rates, options);
}

void SetAppleDeviceOptions(const TProfileControls& c, TOutputOptions& options) {
  TParsedRates rates = ParseRates(LeadingNumber(c.ComboVideoBitrate.Text()) + "000",
                                  LeadingNumber(c.ComboAudioBitrate.Text()) + "000",
                                  LeadingNumber(c.ComboSamplingRate.Text()));
  options.VideoCodec = DeviceVideoEncoderName(c.ComboVideoCodec.Text());
  options.AudioCodec = "libfaac";
  options.FrameSize = GetFrameSize(c.ComboVideoSize.Text());
  WriteFrameRate(c, options);
  WriteRates(rates, options);
  options.AudioChannels = ChosenChannels(c);
}

void SetMobile3gpOptions(const TProfileControls& c, TOutputOptions& options) {
  TParsedRates rates = ParseRates(LeadingNumber(c.ComboVideoBitrate.Text()) + "000",
                                  LeadingNumber(c.ComboAudioBitrate.Text()),
                                  LeadingNumber(c.ComboSamplingRate.Text()));
  options.VideoCodec = DeviceVideoEncoderName(c.ComboVideoCodec.Text());
  // "amr_nb" or "mpeg4aac", as chosen.
  options.AudioCodec = CodecAudioEncoderName(c.ComboAudioCodec.Text());
  options.FrameSize = GetFrameSize(c.ComboVideoSize.Text());
  WriteFrameRate(c, options);
  WriteRates(rates, options);
  options.AudioChannels = ChosenChannels(c);
}

void SetVideoQuality(TOutputOptions& options, int level) {
  if (level < 0 || level >= static_cast<int>(QualityLevelItems.size())) return;
  for (const TQualityCoding& coding : QualityCodings) {
    if (coding.Encoder != options.VideoCodec) continue;
    options.QualityOption = coding.Option;
    options.QualityValue = coding.Levels[level];
    return;
  }
}

void SetEncoderSpeed(TOutputOptions& options, int speed) {
  if (speed < 0 || speed >= static_cast<int>(SpeedItems.size())) return;
  for (const TSpeedCoding& coding : SpeedCodings) {
    if (coding.Encoder != options.VideoCodec) continue;
    options.SpeedPreset = coding.Presets[speed];
    options.SpeedDeadline = coding.Deadlines[speed];
    options.SpeedCpuUsed = coding.CpuUsed[speed];
    return;
  }
}

void SetQualityOptions(const TProfileControls& c, TOutputOptions& options) {
  const bool audioOnly = IsAudioOnlyFormat(c.FOutputFormatName);
  const std::string videoQuality = c.ComboVideoBitrate.Text();
  const int level = IndexOfItem(QualityLevelItems, videoQuality);
  const std::string audioQuality = c.ComboAudioBitrate.Text();
  const std::string rate = c.ComboSamplingRate.Text();
  // Every number first, so that a malformed one leaves the record as it was.
  const int32_t videoBitrate =
      audioOnly || level >= 0 ? -1 : ParseSettingInteger(LeadingNumber(videoQuality) + "000");
  const int32_t audioBitrate = audioQuality == "Lossless" ? -1 : ParseSettingInteger(LeadingNumber(audioQuality) + "000");
  const int32_t sampleRate = rate == "Original" ? -1 : ParseSettingInteger(LeadingNumber(rate));

  if (audioOnly) {
    options.DisableVideo = true;
  } else {
    options.VideoCodec = MapName(QualityVideoEncoders, c.ComboVideoCodec.Text());
    options.VideoBitrate = videoBitrate;
    SetVideoQuality(options, level);
    const int speed = IndexOfItem(SpeedItems, c.ComboEncoderSpeed.Text());
    SetEncoderSpeed(options, speed < 0 ? 1 : speed);
    SetEncoderDefaults(options);
    const std::string sizeText = c.ComboVideoSize.Text();
    if (!KeepsSourceSize(sizeText)) options.FrameSize = GetFrameSize(sizeText);
    WriteFrameRate(c, options);
    const std::string aspect = c.ComboAspectRatio.Text();
    if (aspect != "Original") options.AspectRatio = aspect;
    // Apple's players take H.265 in MP4 only under this tag.
    if (c.FOutputFormatName == "MP4" && (options.VideoCodec == "libx265" || options.VideoCodec == "hevc_vaapi"))
      options.VideoTag = "hvc1";
  }
  // The index at the front, so that the file plays while it downloads.
  options.FastStart = c.FOutputFormatName == "MP4" || c.FOutputFormatName == "M4A";

  options.AudioCodec = MapName(QualityAudioEncoders, c.ComboAudioCodec.Text());
  options.AudioBitrate = audioBitrate;
  options.AudioSampleRate = sampleRate;
  const std::string channels = c.ComboAudioChannels.Text();
  options.AudioChannels = channels == "Original" ? -1 : ChosenChannels(c);
}

bool TranslateProfileOptions(int profileId, const TProfileControls& c, TOutputOptions& options) {
  if (profileId < 0 || profileId >= OutputFormatCount || !OutputFormatTable[profileId].Translate) return false;
  OutputFormatTable[profileId].Translate(c, options);
  return true;
}

void ApplyProfileToOptions(const TProfileControls& c, TOutputOptions& options) {
  const TheAVCodec* row = LookupOutputFormat(c.ComboOutputFormat.Text());
  if (!row || !row->Translate) return;
  TOutputOptions translated = options;
  row->Translate(c, translated);
  RefuseWhatTheFormatCannotTake(*row, c, translated);
  options = std::move(translated);
}

}  // namespace fennick
