// Shared helpers for the tests: temporary folders, synthetic media made with
// the ffmpeg command, and an independent reading of files through ffprobe.
#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace fennick::test {

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
CommandResult RunCommand(const std::string& command);
// Quotes a path for the shell.
std::string ShellQuote(const std::string& text);

// Runs "ffmpeg -y <args> <output>"; true on success.
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
// A short test-pattern clip with a sine tone.
bool MakeClip(const std::string& output, const ClipSpec& spec = {});

// ffprobe's reading of a file in flat form: keys like "streams.stream.0.codec_name"
// and "format.duration" with their values (quotes removed). Empty when ffprobe
// refuses the file.
std::map<std::string, std::string> ProbeFile(const std::string& path);
// Index of the first stream of a kind ("video", "audio") in a probe, or -1.
int FindStream(const std::map<std::string, std::string>& probe, const std::string& kind);
std::string StreamValue(const std::map<std::string, std::string>& probe, int stream, const std::string& key);
// Counts the frames of a stream as ffprobe decodes them.
int CountFrames(const std::string& path, const std::string& kind);

}  // namespace fennick::test
