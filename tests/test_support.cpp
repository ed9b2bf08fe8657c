#include "tests/test_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <charconv>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <random>
#include <sstream>

#include "codec_library/codec_library.h"
#include "component/FFmpegVCL.h"

namespace fennick::test {

void RequireLibraries() {
  if (!LoadLibraries("", true)) FAIL() << "codec libraries: " << LibraryLoadError();
}

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  std::random_device rd;
  FPath = std::filesystem::temp_directory_path() /
          ("fennick-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + "-" +
           std::to_string(rd() % 100000));
  std::filesystem::create_directories(FPath);
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(FPath, ec);
}

std::string ShellQuote(const std::string& text) {
  std::string q = "'";
  for (char c : text) {
    if (c == '\'')
      q += "'\\''";
    else
      q += c;
  }
  return q + "'";
}

CommandResult RunCommand(const std::string& command) {
  CommandResult result;
  // timeout(1) signals the command's whole process group: 124 when SIGTERM
  // ended it, 137 when SIGKILL had to, ten seconds later.
  const std::string capped =
      "timeout -k 10 " + std::to_string(kConversionCap.count()) + " sh -c " + ShellQuote(command) + " 2>&1";
  FILE* pipe = popen(capped.c_str(), "r");
  if (!pipe) return result;
  std::array<char, 4096> buf{};
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), pipe)) > 0) result.output.append(buf.data(), n);
  const int status = pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (result.exitCode == 124 || result.exitCode == 137)
    ADD_FAILURE() << "stopped after " << kConversionCap.count() << " s: " << command;
  return result;
}

namespace {

// Where generated media is kept, in the build tree, so that the many test
// processes of one suite (one per test) make each clip once.
std::filesystem::path KeptMediaFolder() { return std::filesystem::path(FENNICK_BIN_DIR).parent_path() / "test-media"; }

// 64-bit FNV-1a of a text, in hex: the same in every process.
std::string TextHash(const std::string& text) {
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : text) hash = (hash ^ c) * 1099511628211ull;
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return hex;
}

}  // namespace

bool MakeMedia(const std::string& output, const std::string& args) {
  namespace fs = std::filesystem;
  // Kept by the command that makes it, unless that reads a test's own files.
  const std::string extension = fs::path(output).extension().string();
  const bool keep = args.find(fs::temp_directory_path().string()) == std::string::npos;
  const fs::path kept = KeptMediaFolder() / (TextHash(args + " " + extension) + extension);
  std::error_code ec;
  if (keep && fs::exists(kept, ec) && fs::copy_file(kept, output, fs::copy_options::overwrite_existing, ec))
    return true;
  const auto r = RunCommand("ffmpeg -hide_banner -nostdin -loglevel error -y " + args + " " + ShellQuote(output));
  if (r.exitCode != 0) ADD_FAILURE() << "ffmpeg failed making " << output << ": " << r.output;
  if (r.exitCode == 0 && keep) {
    // Complete or not at all: copied under a name of this process's, then renamed.
    const fs::path part = kept.string() + "." + std::to_string(getpid()) + ".part";
    fs::create_directories(KeptMediaFolder(), ec);
    if (fs::copy_file(output, part, fs::copy_options::overwrite_existing, ec)) fs::rename(part, kept, ec);
    if (ec) fs::remove(part, ec);
  }
  return r.exitCode == 0;
}

std::string NumberText(double value) {
  char text[32];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  return ec == std::errc() ? std::string(text, end) : "nan";
}

bool MakeClip(const std::string& output, const ClipSpec& spec) {
  std::ostringstream args;
  const std::string seconds = NumberText(spec.seconds);
  if (spec.video)
    args << "-f lavfi -i testsrc=size=" << spec.width << "x" << spec.height << ":rate=" << spec.frameRate
         << ":duration=" << seconds << " ";
  if (spec.audio)
    args << "-f lavfi -i sine=frequency=440:sample_rate=" << spec.sampleRate << ":duration=" << seconds << " ";
  if (spec.video) args << "-c:v " << spec.videoCodec << " -pix_fmt yuv420p ";
  if (spec.audio) args << "-c:a " << spec.audioCodec << " -ac " << spec.channels << " ";
  args << spec.extra;
  return MakeMedia(output, args.str());
}

int64_t VideoPacketBytes(const std::string& path) {
  const CommandResult r =
      RunCommand("ffprobe -v error -select_streams v -show_entries packet=size -of csv=p=0 " + ShellQuote(path));
  int64_t total = 0;
  std::istringstream lines(r.output);
  for (std::string line; std::getline(lines, line);) total += std::atoll(line.c_str());
  return total;
}

std::map<std::string, std::string> ProbeFile(const std::string& path) {
  std::map<std::string, std::string> values;
  const auto r = RunCommand("ffprobe -v error -show_format -show_streams -of flat " + ShellQuote(path));
  if (r.exitCode != 0) return values;
  std::istringstream in(r.output);
  std::string line;
  while (std::getline(in, line)) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string value = line.substr(eq + 1);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    values[line.substr(0, eq)] = value;
  }
  return values;
}

std::string StreamValue(const std::map<std::string, std::string>& probe, int stream, const std::string& key) {
  const auto it = probe.find("streams.stream." + std::to_string(stream) + "." + key);
  return it == probe.end() ? std::string() : it->second;
}

int FindStream(const std::map<std::string, std::string>& probe, const std::string& kind) {
  for (int i = 0; i < 64; ++i) {
    const std::string type = StreamValue(probe, i, "codec_type");
    if (type.empty()) break;
    if (type == kind) return i;
  }
  return -1;
}

int CountFrames(const std::string& path, const std::string& kind) {
  const std::string sel = kind == "audio" ? "a:0" : "v:0";
  const auto r = RunCommand("ffprobe -v error -count_frames -select_streams " + sel +
                            " -show_entries stream=nb_read_frames -of csv=p=0 " + ShellQuote(path));
  if (r.exitCode != 0) return -1;
  try {
    return std::stoi(r.output);
  } catch (...) {
    return -1;
  }
}

std::vector<uint8_t> DecodePicture(const std::string& path, int frameIndex, const std::string& pixFmt, size_t bytes) {
  TempDir dir;
  const std::string raw = dir.file("picture.raw");
  RunCommand("ffmpeg -hide_banner -nostdin -loglevel error -y -i " + ShellQuote(path) + " -vf " +
             ShellQuote("select=eq(n\\," + std::to_string(frameIndex) + ")") + " -frames:v 1 -f rawvideo -pix_fmt " +
             pixFmt + " " + ShellQuote(raw));
  std::ifstream in(raw, std::ios::binary);
  std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (data.size() != bytes) data.clear();
  return data;
}

double PictureSnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  if (a.empty() || a.size() != b.size()) return 0;
  double squares = 0;
  for (size_t i = 0; i < a.size(); ++i) squares += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
  const double mse = squares / static_cast<double>(a.size());
  return mse == 0 ? 100 : 10 * std::log10(255.0 * 255.0 / mse);
}

TaskEnd RunTasks(TFFmpegVCL& component) {
  // Shared with the handler, which may outlive this call when a stopped task
  // never ends.
  struct TState {
    std::mutex Lock;
    std::condition_variable Changed;
    bool AllDone = false;
    TaskEnd Last;
  };
  const auto state = std::make_shared<TState>();
  component.OnTerminate = [state](int index, bool finished, bool exception, const std::string& message) {
    std::lock_guard<std::mutex> guard(state->Lock);
    if (index >= 0)
      state->Last = {finished, exception, message};
    else
      state->AllDone = true;
    state->Changed.notify_all();
  };
  component.StartTasks(1);
  std::unique_lock<std::mutex> guard(state->Lock);
  if (!state->Changed.wait_for(guard, kConversionCap, [&] { return state->AllDone; })) {
    guard.unlock();
    component.StopTasks();
    guard.lock();
    state->Changed.wait_for(guard, std::chrono::seconds(10), [&] { return state->AllDone; });
    ADD_FAILURE() << "the conversion was stopped after " << kConversionCap.count() << " s";
  }
  return state->Last;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string SmallClip(const TempDir& dir, const std::string& name, double seconds) {
  const std::string path = dir.file(name);
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  ClipSpec spec;
  spec.seconds = seconds;
  spec.width = 160;
  spec.height = 120;
  EXPECT_TRUE(MakeClip(path, spec)) << path;
  return path;
}

std::string NotMediaFile(const TempDir& dir, const std::string& name) {
  const std::string path = dir.file(name);
  std::ofstream(path) << "not a media file\n";
  return path;
}

}  // namespace fennick::test
