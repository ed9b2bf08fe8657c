#include "profiles/format_limits.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <numeric>

namespace fennick {

namespace {

struct TRate {
  int64_t Num, Den;
};

// "25", "30000/1001" as a reduced fraction; {0, 0} when unreadable.
TRate ReadRate(std::string_view text) {
  auto read = [](std::string_view part, int64_t& value) {
    const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), value);
    return !part.empty() && ec == std::errc() && end == part.data() + part.size() && value > 0;
  };
  const size_t slash = text.find('/');
  int64_t num = 0, den = 1;
  if (!read(text.substr(0, slash), num)) return {0, 0};
  if (slash != std::string_view::npos && !read(text.substr(slash + 1), den)) return {0, 0};
  const int64_t g = std::gcd(num, den);
  return {num / g, den / g};
}

// The frame rates of MPEG-1 video.
constexpr std::array<TRate, 8> kMpeg1Rates = {{
    {24000, 1001}, {24, 1}, {25, 1}, {30000, 1001}, {30, 1}, {50, 1}, {60000, 1001}, {60, 1},
}};

constexpr std::array<std::array<int, 2>, 5> kH263Sizes = {{{128, 96}, {176, 144}, {352, 288}, {704, 576}, {1408, 1152}}};

constexpr std::array<int32_t, 13> kAacRates = {7350,  8000,  11025, 12000, 16000, 22050, 24000,
                                               32000, 44100, 48000, 64000, 88200, 96000};
constexpr std::array<int32_t, 9> kMp3Rates = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
constexpr std::array<int32_t, 6> kMp2Rates = {16000, 22050, 24000, 32000, 44100, 48000};
constexpr std::array<int32_t, 3> kAc3Rates = {32000, 44100, 48000};
constexpr std::array<int32_t, 5> kOpusRates = {8000, 12000, 16000, 24000, 48000};
// MPEG-1 layer III's highest bit rate.
constexpr int32_t kMp3MaxBitRate = 320000;

// MPEG-1 layer II bit rates (kbit/s) at 32000 Hz and above, and the lower
// sampling rates' table.
constexpr std::array<int32_t, 14> kMp2BitRates = {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384};
constexpr std::array<int32_t, 14> kMp2LowRateBitRates = {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};

// The average bit rates (bit/s) that libvorbis sets up, by sampling rate
// (from this rate up to the next row's) and channel count.
struct TVorbisRange {
  int32_t SampleRate;
  int32_t MonoMin, MonoMax, StereoMin, StereoMax;
};
constexpr std::array<TVorbisRange, 8> kVorbisRanges = {{
    {8000, 8000, 42000, 12000, 84000},
    {11025, 12000, 50000, 16000, 100000},
    {16000, 16000, 100000, 24000, 200000},
    {22050, 16000, 90000, 30000, 180000},
    {24000, 16000, 90000, 30000, 180000},
    {32000, 30000, 190000, 36000, 380000},
    {44100, 32000, 240000, 45000, 500000},
    {48000, 32000, 240000, 45000, 500000},
}};

// DVD pictures: these widths at a norm's full height, 352 also at half of it.
constexpr std::array<int, 3> kDvdWidths = {720, 704, 352};
constexpr int kNtscHeight = 480, kPalHeight = 576;

template <typename Array>
bool Contains(const Array& values, int32_t value) {
  return std::find(values.begin(), values.end(), value) != values.end();
}

int RoundToStep(int value, int step) {
  const int down = value / step * step;
  const int rounded = value - down > step / 2 ? down + step : down;
  return std::max(rounded, step);
}

}  // namespace

int FrameSizeStep(std::string_view videoEncoder) {
  if (videoEncoder == "rv10") return 16;
  if (videoEncoder == "rv20" || videoEncoder == "h263") return 4;
  return 2;
}

bool EncoderTakesFrameSize(std::string_view videoEncoder, int width, int height) {
  if (width <= 0 || height <= 0) return false;
  if (videoEncoder == "h263")
    return std::any_of(kH263Sizes.begin(), kH263Sizes.end(),
                       [&](const std::array<int, 2>& size) { return size[0] == width && size[1] == height; });
  const int step = FrameSizeStep(videoEncoder);
  return width % step == 0 && height % step == 0;
}

std::string FitSourceFrameSize(std::string_view videoEncoder, int width, int height) {
  if (width <= 0 || height <= 0 || EncoderTakesFrameSize(videoEncoder, width, height)) return "";
  const int step = FrameSizeStep(videoEncoder);
  return std::to_string(RoundToStep(width, step)) + "x" + std::to_string(RoundToStep(height, step));
}

bool EncoderTakesFrameRate(std::string_view videoEncoder, std::string_view rate) {
  if (rate.empty() || videoEncoder != "mpeg1video") return true;
  const TRate r = ReadRate(rate);
  return std::any_of(kMpeg1Rates.begin(), kMpeg1Rates.end(),
                     [&](const TRate& m) { return m.Num == r.Num && m.Den == r.Den; });
}

bool EncoderTakesSampleRate(std::string_view audioEncoder, int32_t sampleRate) {
  if (sampleRate <= 0) return true;
  if (audioEncoder == "libfaac" || audioEncoder == "aac") return Contains(kAacRates, sampleRate);
  if (audioEncoder == "libopus") return Contains(kOpusRates, sampleRate);
  if (audioEncoder == "libmp3lame") return Contains(kMp3Rates, sampleRate);
  if (audioEncoder == "mp2") return Contains(kMp2Rates, sampleRate);
  if (audioEncoder == "ac3") return Contains(kAc3Rates, sampleRate);
  if (audioEncoder == "wmav2" || audioEncoder == "vorbis") return sampleRate > 0 && sampleRate <= 48000;
  if (audioEncoder == "libamr_nb") return sampleRate == 8000;
  return true;
}

bool EncoderTakesChannels(std::string_view audioEncoder, int32_t channels) {
  return audioEncoder != "libamr_nb" || channels == 1;
}

bool EncoderTakesBitRate(std::string_view audioEncoder, int32_t bitRate, int32_t sampleRate, int32_t channels) {
  if (!EncoderTakesSampleRate(audioEncoder, sampleRate)) return true;
  if (audioEncoder == "libmp3lame") return bitRate <= kMp3MaxBitRate;
  if (audioEncoder == "mp2") {
    if (bitRate % 1000 != 0) return false;
    return sampleRate >= 32000 ? Contains(kMp2BitRates, bitRate / 1000) : Contains(kMp2LowRateBitRates, bitRate / 1000);
  }
  if (audioEncoder == "vorbis") {
    const TVorbisRange* range = nullptr;
    for (const TVorbisRange& r : kVorbisRanges)
      if (r.SampleRate <= sampleRate) range = &r;
    if (!range) return true;
    if (channels == 1) return bitRate >= range->MonoMin && bitRate <= range->MonoMax;
    return bitRate >= range->StereoMin && bitRate <= range->StereoMax;
  }
  return true;
}

bool DvdTakesFrameSize(int width, int height) {
  if (width == 352 && (height == kNtscHeight / 2 || height == kPalHeight / 2)) return true;
  return (height == kNtscHeight || height == kPalHeight) && Contains(kDvdWidths, width);
}

std::string_view DvdNorm(int height) {
  if (height == kNtscHeight || height == kNtscHeight / 2) return "NTSC";
  if (height == kPalHeight || height == kPalHeight / 2) return "PAL";
  return "";
}

bool DvdTakesFrameRate(int height, std::string_view rate) {
  const TRate r = ReadRate(rate);
  if (DvdNorm(height) == "NTSC") return r.Num == 30000 && r.Den == 1001;
  if (DvdNorm(height) == "PAL") return r.Num == 25 && r.Den == 1;
  return false;
}

bool DvdTakesSampleRate(int32_t sampleRate) { return sampleRate == 48000; }

}  // namespace fennick
