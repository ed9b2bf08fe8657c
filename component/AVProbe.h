// The media probe: opens a file only to describe it (stream counts, duration,
// bit rate, metadata, picture parameters of a video stream, the audio and
// subtitle tracks). Never decodes.
// Takes no lock; one thread uses a probe at a time, and any other thread may
// ask it to stop (RequestStop).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// The codec libraries' types, known here by name only: callers of the probe
// need none of the libraries' headers.
struct AVFormatContext;
struct AVStream;

namespace fennick {

// Raised by LoadFile when a codec library is not bound.
class EProbeError : public std::runtime_error {
 public:
  explicit EProbeError(const std::string& message) : std::runtime_error(message) {}
};

struct TProbeFileInfo {
  int64_t StartTime = -1;  // µs
  int64_t Duration = -1;   // µs
  int32_t BitRate = -1;    // bit/s
  int64_t Timestamp = -1;  // seconds since 1970 UTC ("creation_time")
  char Title[512] = {};
  char Author[512] = {};
  char RightsText[512] = {};
  char Comment[512] = {};
  char Album[512] = {};
  int32_t Year = -1;
  int32_t Track = -1;
  char Genre[32] = {};
};

struct TProbeVideoInfo {
  char Language[4] = {};
  char CodecName[32] = {};
  int64_t StartTime = -1;  // stream time base
  int64_t StartTimeMicroseconds = -1;
  int64_t Duration = -1;  // stream time base
  int64_t DurationMicroseconds = -1;
  int32_t BitRate = -1;
  int32_t Height = -1;
  int32_t Width = -1;
  float DisplayAspect = -1.0f;
  int32_t PixelFormat = -1;
  int32_t FrameRateNum = -1;
  int32_t FrameRateDen = -1;
};

// Fills info from a video stream of an opened input, as GetStreamVideoInfo
// describes it.
void DescribeVideoStream(const AVStream& stream, TProbeVideoInfo& info);

// An audio or subtitle stream: what a user chooses a track by.
struct TProbeStreamInfo {
  int32_t Index = -1;        // the stream's index in the file
  std::string Language;      // its "language" tag; empty when it names none
  std::string CodecName;     // "aac", "ac3", "subrip" ...
  std::string Title;         // its "title" tag
  int32_t Channels = -1;     // audio only
  int32_t SampleRate = -1;   // audio only, Hz
  bool Default = false;      // the source marks it as the one to play
  bool Bitmap = false;       // subtitles made of pictures (DVD, Blu-ray)

  bool operator==(const TProbeStreamInfo&) const = default;
};

// The audio and subtitle streams of a file, each in file order.
struct TProbeStreamList {
  std::vector<TProbeStreamInfo> Audio, Subtitles;
};

// The audio and subtitle streams of an opened input.
TProbeStreamList DescribeStreams(const AVFormatContext& input);

class TAVProbe {
  // Closes the opened input and the byte stream it read from.
  struct TInputDeleter {
    void operator()(AVFormatContext* context) const;
  };

 public:
  TAVProbe() = default;
  TAVProbe(const TAVProbe&) = delete;
  TAVProbe& operator=(const TAVProbe&) = delete;

  // Raises EProbeError when a library is missing; any other failure gives
  // False with LastError set and leaves the probe closed.
  bool LoadFile(const std::string& fileName, const std::string& formatName = "");
  void CloseFile();
  void GetFileInfo(TProbeFileInfo& info) const;
  void GetVideoInfo(TProbeVideoInfo& info) const { GetStreamVideoInfo(-1, info); }
  // Index -1: the first video stream.
  void GetStreamVideoInfo(int streamIndex, TProbeVideoInfo& info) const;
  // Every audio and subtitle stream; none while no file is open.
  TProbeStreamList Streams() const;

  bool Loaded() const { return FContext != nullptr; }
  const std::string& LastError() const { return FLastError; }
  const std::string& FormatName() const { return FFormatName; }
  int StreamCount() const { return FStreamCount; }
  int ProgramCount() const { return FProgramCount; }
  int AudioStreamCount() const { return FAudioStreamCount; }
  int VideoStreamCount() const { return FVideoStreamCount; }
  int SubtitleStreamCount() const { return FSubtitleStreamCount; }
  int FirstAudioStreamIndex() const { return FFirstAudioStreamIndex; }
  int FirstVideoStreamIndex() const { return FFirstVideoStreamIndex; }
  int FirstSubtitleStreamIndex() const { return FFirstSubtitleStreamIndex; }

  // From any thread: a LoadFile in progress ends within a fraction of a
  // second, also one waiting for a pipe or device that sends nothing, and
  // fails ("...: Immediate exit requested"); so does every later LoadFile
  // until ResetStop.
  void RequestStop() { FStopRequested = true; }
  void ResetStop() { FStopRequested = false; }
  bool StopRequested() const { return FStopRequested; }

 private:
  // The opened input's interrupt callback.
  static int Interrupted(void* probe);

  std::unique_ptr<AVFormatContext, TInputDeleter> FContext;
  std::string FLastError;
  std::string FFormatName;
  // All -1 while no file is open.
  int FStreamCount = -1, FProgramCount = -1, FAudioStreamCount = -1, FVideoStreamCount = -1,
      FSubtitleStreamCount = -1, FFirstAudioStreamIndex = -1, FFirstVideoStreamIndex = -1,
      FFirstSubtitleStreamIndex = -1;
  std::atomic<bool> FStopRequested{false};
};

}  // namespace fennick
