#include "profiles/profile_translation.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <utility>

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
constexpr std::array<std::string_view, 11> AudioOnlyFormats = {"aac", "ac3", "au", "mp2", "mp3", "wav",
                                                               "wma", "ra",  "m4a", "amr", "ogg"};

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

void WriteFrameRate(const TProfileControls& c, TOutputOptions& options) {
  std::string rate = GetFrameRate(c.ComboVideoFramerate.Text());
  if (!rate.empty()) options.FrameRate = rate;
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
  return number;
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
  WriteFrameRate(c, options);
  std::string aspect = c.ComboAspectRatio.Text();
  if (aspect != "Original") options.AspectRatio = aspect;
  options.AudioChannels = c.ComboAudioChannels.Text() == "Stereo" ? 2 : 1;
  if (c.FOutputFormatName == "3GP" || c.FOutputFormatName == "3G2") options.AudioChannels = 1;
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
}

void SetMobile3gpOptions(const TProfileControls& c, TOutputOptions& options) {
  TParsedRates rates = ParseRates(LeadingNumber(c.ComboVideoBitrate.Text()) + "000",
                                  LeadingNumber(c.ComboAudioBitrate.Text()),
                                  LeadingNumber(c.ComboSamplingRate.Text()));
  options.VideoCodec = DeviceVideoEncoderName(c.ComboVideoCodec.Text());
  options.AudioCodec = "libamr_nb";
  options.FrameSize = GetFrameSize(c.ComboVideoSize.Text());
  WriteFrameRate(c, options);
  WriteRates(rates, options);
  options.AudioChannels = 1;
}

bool TranslateProfileOptions(int profileId, const TProfileControls& c, TOutputOptions& options) {
  switch (profileId) {
    case 0: case 1:
      SetMobile3gpOptions(c, options);
      return true;
    case 3: case 4: case 6: case 7: case 8: case 9: case 10: case 11: case 12: case 13: case 14: case 15:
      SetAppleDeviceOptions(c, options);
      return true;
    case 18: case 19: case 20:
    case 49: case 50: case 53: case 58: case 59: case 60: case 61:
    case 63: case 64: case 65: case 66: case 67: case 68: case 69:
      SetCodecOptions(c, options);
      return true;
    default:
      if (profileId >= 22 && profileId <= 46) {
        SetCodecOptions(c, options);
        return true;
      }
      return false;
  }
}

void ApplyProfileToOptions(const TProfileControls& c, TOutputOptions& options) {
  const TheAVCodec* row = LookupOutputFormat(c.ComboOutputFormat.Text());
  if (row) TranslateProfileOptions(row->ProfileId, c, options);
}

}  // namespace fennick
