// The records that describe a conversion task to the component: one input
// record per task, one output record per output file. Plain values owned by
// the caller; the component copies what it needs and keeps no pointer.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace fennick {

struct TInputOptions {
  std::string FileName;    // set to the AddInputTask argument when empty
  std::string FileFormat;  // forced demuxer short name, empty = detect
  int32_t StartTime = -1;  // milliseconds
  int32_t ProgramID = -1;
  std::string ExtOptions;  // name=value lines
  // The language of the input's streams that name none (a subtitle file's,
  // from its name); empty: as they are.
  std::string StreamLanguage;
};

// Colour as 0x00BBGGRR (red in the lowest byte).
using TColor = uint32_t;

struct TOutputOptions {
  std::string FileName;
  std::string FileFormat;
  int32_t PacketSize = -1;
  int32_t MuxRate = -1;
  float MuxDelay = -1.0f;    // seconds
  float MuxPreload = -1.0f;  // seconds
  std::string AudioCodec;
  bool DisableAudio = false;
  int32_t AudioVolume = -1;  // 256 = unchanged
  int32_t AudioChannels = -1;
  int32_t AudioSampleRate = -1;
  int32_t AudioBitrate = -1;  // bit/s
  int32_t AudioBitrateTolerance = -1;
  std::string AudioLanguage;
  int32_t AudioSync = 0;
  std::string AudioTag;
  std::string VideoCodec;
  bool DisableVideo = false;
  std::string FrameRate;
  std::string FrameSize;
  std::string AspectRatio;
  int32_t CropTop = -1, CropBottom = -1, CropLeft = -1, CropRight = -1;
  int32_t PadTop = -1, PadBottom = -1, PadLeft = -1, PadRight = -1;
  TColor PadColor = 0;
  int32_t GopSize = -1;
  int32_t VideoBitrate = -1;  // bit/s
  int32_t MaxRate = -1;
  int32_t MinRate = -1;
  int32_t BitrateTolerance = -1;
  int32_t BufferSize = -1;
  int32_t VideoSync = -1;
  std::string VideoTag;
  bool DisableSubtitle = false;
  std::string SubtitleLanguage;
  // The stream of the (first) input whose sound the output takes, by its
  // index in the file; -1: the first audio stream.
  int32_t AudioStream = -1;
  // A subtitle stream for each subtitle stream of the inputs that the
  // container holds (text converted into its kind, pictures only where it
  // stores them); off: at most one, of the container's own subtitle codec.
  bool KeepSubtitles = false;
  bool CopyTimestamps = false;
  int32_t Duration = -1;     // milliseconds
  double Timestamp = -1.0;   // days since 1899-12-30, local time
  int32_t Year = -1;
  int32_t Track = -1;
  char Title[512] = {};
  char Author[512] = {};
  char RightsText[512] = {};
  char Comment[512] = {};
  char Album[512] = {};
  char Genre[32] = {};
  int32_t Target = 0;      // 1 vcd, 2 svcd, 3 dvd
  int32_t NormType = 0;    // 0 auto, 1 pal, 2 ntsc
  int32_t NormDefault = 1; // 1 pal, other ntsc
  bool CustomHook = false;
  bool BeforeHook = false;
  std::string HookTimeRanges;
  std::string ExtOptions;
  // The encoder's constant quality: the option that sets it ("crf", "qp",
  // "qscale") and its value, lower is better; -1 none (the bit rate rules).
  // A crf or qp level codes without a bit-rate target, a VAAPI encoder in
  // its constant-quantiser mode.
  std::string QualityOption;
  int32_t QualityValue = -1;
  // The encoder's speed: its preset (x264 and x265 "veryfast" ... "slow",
  // SVT-AV1 "12" ... "6"), libvpx's deadline and cpu-used; empty or -1: the
  // encoder's own.
  std::string SpeedPreset;
  std::string SpeedDeadline;
  int32_t SpeedCpuUsed = -1;
  // The layout pictures are coded in ("yuv420p"); empty: the encoder's
  // choice for the source.
  std::string PixelFormat;
  std::string EncoderParams;   // x265's own parameters ("log-level=error")
  bool RowThreads = false;     // libvpx's threads over rows
  bool FastStart = false;      // the MP4 index at the front
  // The source's tags, chapters and cover copied from input 0.
  bool KeepSourceTags = false;
};

void InitInputOptions(TInputOptions& options);
void InitOutputOptions(TOutputOptions& options);

// Reads a fixed character array up to its first zero or its full length.
template <size_t N>
std::string FixedText(const char (&text)[N]) {
  size_t n = 0;
  while (n < N && text[n] != '\0') ++n;
  return std::string(text, n);
}
// Stores text into a fixed array, cut to fit with room for the terminator.
template <size_t N>
void SetFixedText(char (&text)[N], const std::string& value) {
  size_t n = value.size() < N - 1 ? value.size() : N - 1;
  for (size_t i = 0; i < N; ++i) text[i] = i < n ? value[i] : '\0';
}

}  // namespace fennick
