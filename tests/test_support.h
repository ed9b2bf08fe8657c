// Shared helpers for the tests: temporary folders, synthetic media made with
// the ffmpeg command, and an independent reading of files through ffprobe.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace fennick {
class TFFmpegVCL;
}

namespace fennick::test {

// The longest a conversion or a command may take in a test: longer is a
// fault (a hang), so it is stopped and the test fails.
inline constexpr std::chrono::seconds kConversionCap{60};

// Loads the codec libraries once per process (fails the test if it cannot).
void RequireLibraries();

// A fresh folder under the system's temporary folder, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return FPath; }
  std::string file(const std::string& name) const { return (FPath / name).string(); }

 private:
  std::filesystem::path FPath;
};

struct CommandResult {
  int exitCode = -1;
  std::string output;  // stdout and stderr together
};
// Runs a shell command; one still running after kConversionCap is stopped
// (SIGTERM, then SIGKILL) and fails the test.
CommandResult RunCommand(const std::string& command);
// Quotes a path for the shell.
std::string ShellQuote(const std::string& text);

// Runs "ffmpeg -y <args> <output>"; true on success. What it makes from
// generated sources alone is kept in the build tree (test-media/) and copied
// from there by later calls with the same arguments, so that a suite's test
// processes make each clip once.
bool MakeMedia(const std::string& output, const std::string& args);

struct ClipSpec {
  double seconds = 1.0;
  int width = 320, height = 240;
  std::string frameRate = "25";
  bool video = true;
  bool audio = true;
  int sampleRate = 44100;
  int channels = 2;
  std::string videoCodec = "mpeg4";  // ffmpeg encoder names
  std::string audioCodec = "aac";
  std::string extra;  // more ffmpeg output options
};
// A number as the codec libraries and the ffmpeg command read it, with a
// point whatever the locale ("1.5").
std::string NumberText(double value);

// A short test-pattern clip with a sine tone.
bool MakeClip(const std::string& output, const ClipSpec& spec = {});

// ffprobe's reading of a file in flat form: keys like "streams.stream.0.codec_name"
// and "format.duration" with their values (quotes removed). Empty when ffprobe
// refuses the file.
std::map<std::string, std::string> ProbeFile(const std::string& path);
// The bytes of a file's video packets, as ffprobe counts them.
int64_t VideoPacketBytes(const std::string& path);
// Index of the first stream of a kind ("video", "audio") in a probe, or -1.
int FindStream(const std::map<std::string, std::string>& probe, const std::string& kind);
std::string StreamValue(const std::map<std::string, std::string>& probe, int stream, const std::string& key);
// Counts the frames of a stream as ffprobe decodes them.
int CountFrames(const std::string& path, const std::string& kind);

// Picture `frameIndex` of the first video stream as the ffmpeg command
// decodes it, in a raw layout of its naming ("gray", "rgb24", "yuv420p"),
// `bytes` long; empty when it is not.
std::vector<uint8_t> DecodePicture(const std::string& path, int frameIndex, const std::string& pixFmt, size_t bytes);
// Peak signal-to-noise ratio in dB of two pictures of the same layout (0 when
// their sizes differ or one is empty).
double PictureSnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);

// How a component's task ended.
struct TaskEnd {
  bool Finished = false, Exception = false;
  std::string Message;
};
// Runs the component's tasks one at a time until the call that ends them
// all; returns how the last one ended. Tasks still running after
// kConversionCap are stopped and fail the test.
TaskEnd RunTasks(TFFmpegVCL& component);

// The lines of a command's output, and whether a text holds a part.
std::vector<std::string> Lines(const std::string& text);
bool Contains(const std::string& text, const std::string& part);
// A 160x120 clip of `seconds` at `name` in `dir` (its folders made), and a
// file of plain text under a media name; both return the path.
std::string SmallClip(const TempDir& dir, const std::string& name, double seconds = 1.0);
std::string NotMediaFile(const TempDir& dir, const std::string& name);

}  // namespace fennick::test
