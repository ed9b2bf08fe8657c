// Stage threads: a conversion with reading and decoding on threads of their
// own writes the very file the one-loop engine writes, whatever the codec
// thread count (each conversion by fennick-bench, the engine alone); a stop
// ends a threaded run at once with a playable file.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mutex>

#include "tests/transcode_support.h"

namespace fennick::test {
namespace {

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct TCase {
  const char* Name;
  const char* Input;   // a clip of SetUpTestSuite
  const char* Output;  // file name; its extension picks the container
  TOptionList InputOptions, OutputOptions;
  bool TwoPass = false;
  // Further output files of the same run, each with its options.
  std::vector<std::pair<const char*, TOptionList>> MoreOutputs = {};
};

class StageThreads : public ::testing::TestWithParam<int> {
 protected:
  static void SetUpTestSuite() {
    RequireLibraries();
    Dir = std::make_unique<TempDir>();
    // H.264 with B-frames (pictures come back from the decoder late) and AAC.
    ASSERT_TRUE(MakeMedia(Dir->file("clip.mp4"),
                          "-f lavfi -i testsrc2=size=320x240:rate=25:duration=4 "
                          "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=4 "
                          "-c:v libx264 -preset veryfast -g 50 -bf 2 -pix_fmt yuv420p -c:a aac"));
    // Sound that starts 1.5 s after the picture.
    ASSERT_TRUE(MakeMedia(Dir->file("late.mkv"),
                          "-f lavfi -i testsrc2=size=320x240:rate=25:duration=4 -itsoffset 1.5 "
                          "-f lavfi -i sine=frequency=300:sample_rate=48000:duration=2 -map 0 -map 1 "
                          "-c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac"));
    // 25 fps with a 0.6 s pause after picture 50: at 18 fps the output drops
    // pictures and repeats one across the pause.
    ASSERT_TRUE(MakeMedia(Dir->file("pause.mkv"),
                          "-f lavfi -i testsrc2=size=320x240:rate=25:duration=4 "
                          "-f lavfi -i sine=sample_rate=22050:duration=5 "
                          "-vf setpts='N/25/TB+if(gt(N\\,50)\\,0.6/TB\\,0)' -fps_mode passthrough "
                          "-c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a mp2"));
  }
  static void TearDownTestSuite() { Dir.reset(); }

  // One conversion by the engine alone in a process of its own, so that
  // nothing an earlier conversion left in the process takes part.
  static void Convert(const TCase& c, bool stageThreads, const TOptionList& outputOptions,
                      const std::vector<std::string>& outputs) {
    std::string command = ShellQuote(std::string(FENNICK_BIN_DIR) + "/fennick-bench") + " --threads " +
                          std::to_string(GetParam()) + " --stage-threads " + (stageThreads ? "on" : "off");
    for (const auto& [name, value] : c.InputOptions) command += " -" + name + " " + ShellQuote(value);
    command += " -i " + ShellQuote(Dir->file(c.Input));
    const auto addOutput = [&command](const TOptionList& options, const std::string& output) {
      for (const auto& [name, value] : options) command += " -" + name + (value.empty() ? "" : " " + ShellQuote(value));
      command += " " + ShellQuote(output);
    };
    addOutput(outputOptions, outputs[0]);
    for (size_t i = 0; i < c.MoreOutputs.size(); ++i) addOutput(c.MoreOutputs[i].second, outputs[i + 1]);
    const CommandResult result = RunCommand(command);
    EXPECT_EQ(result.exitCode, 0) << c.Name << ": " << result.output;
  }
  // Runs a case with stage threads on or off into `folder`; the outputs'
  // paths.
  static std::vector<std::string> Run(const TCase& c, bool stageThreads, const std::string& folder) {
    std::filesystem::create_directories(Dir->path() / folder);
    std::vector<std::string> outputs = {(Dir->path() / folder / c.Output).string()};
    for (const auto& more : c.MoreOutputs) outputs.push_back((Dir->path() / folder / more.first).string());
    const std::string& output = outputs[0];
    TOptionList options = c.OutputOptions;
    if (c.TwoPass) {
      const std::string log = (Dir->path() / folder / "passlog").string();
      options.insert(options.end(), {{"pass", "1"}, {"passlogfile", log}});
      Convert(c, stageThreads, options, outputs);
      std::filesystem::remove(output);
      options = c.OutputOptions;
      options.insert(options.end(), {{"pass", "2"}, {"passlogfile", log}});
    }
    Convert(c, stageThreads, options, outputs);
    return outputs;
  }
  static std::unique_ptr<TempDir> Dir;
};
std::unique_ptr<TempDir> StageThreads::Dir;

TEST_P(StageThreads, OutputIsTheOneLoopsByteForByte) {
  const std::string hook = std::string(FENNICK_BIN_DIR) + "/hook_timestamp.so 8 8 2";
  const TOptionList profile = {{"vcodec", "mpeg4"}, {"b", "1200k"}, {"acodec", "aac"},
                               {"ab", "128k"},      {"ar", "44100"}, {"ac", "2"}};
  const TCase cases[] = {
      {"MP4 profile", "clip.mp4", "profile.mp4", {}, profile},
      {"H.264", "clip.mp4", "h264.mp4", {}, {{"vcodec", "libx264"}, {"b", "1200k"}, {"acodec", "aac"}}},
      {"MPEG-2 two-pass", "clip.mp4", "twopass.mpg", {}, {{"vcodec", "mpeg2video"}, {"b", "2000k"}, {"acodec", "mp2"}},
       true},
      {"copy and encode", "clip.mp4", "copy.mp4", {}, {{"vcodec", "copy"}, {"acodec", "aac"}}},
      {"recording time", "clip.mp4", "t.mp4", {}, {{"t", "2.5"}, {"vcodec", "mpeg4"}, {"acodec", "aac"}}},
      {"start position", "clip.mp4", "ss.avi", {{"ss", "1.7"}}, {{"vcodec", "mpeg4"}, {"acodec", "mp2"}}},
      {"late audio", "late.mkv", "late.mp4", {}, {{"vcodec", "mpeg4"}, {"acodec", "aac"}}},
      {"frame rate", "pause.mkv", "rate.avi", {}, {{"r", "18"}, {"vcodec", "mpeg4"}, {"acodec", "mp2"}}},
      {"frame hook", "clip.mp4", "hook.avi", {}, {{"vhook", hook}, {"vcodec", "mpeg4"}, {"acodec", "mp2"}}},
      // Several output files: each on a thread of its own.
      {"three outputs", "clip.mp4", "three.mp4", {}, profile, false,
       {{"three.mp3", {{"vn", ""}, {"acodec", "libmp3lame"}, {"ab", "128k"}}},
        {"three-h264.mp4", {{"vcodec", "libx264"}, {"b", "800k"}, {"acodec", "aac"}}}}},
      {"two outputs, late audio, copy", "late.mkv", "two.avi", {}, {{"vcodec", "mpeg4"}, {"acodec", "mp2"}}, false,
       {{"two-copy.mp4", {{"vcodec", "copy"}, {"acodec", "aac"}, {"ar", "22050"}}}}},
      {"two outputs, recording time", "pause.mkv", "two-t.avi", {}, {{"t", "3"}, {"r", "18"}, {"vcodec", "mpeg4"},
       {"acodec", "mp2"}}, false, {{"two-t.mp4", {{"vcodec", "libx264"}, {"acodec", "aac"}}}}},
  };
  const std::string threads = std::to_string(GetParam());
  for (const TCase& c : cases) {
    const auto threaded = Run(c, true, "on" + threads), oneLoop = Run(c, false, "off" + threads);
    for (size_t i = 0; i < oneLoop.size(); ++i) {
      const std::string threadedBytes = FileBytes(threaded[i]), oneLoopBytes = FileBytes(oneLoop[i]);
      EXPECT_FALSE(oneLoopBytes.empty()) << c.Name << ": " << oneLoop[i];
      EXPECT_TRUE(threadedBytes == oneLoopBytes) << c.Name << ": " << oneLoop[i] << ": " << threadedBytes.size()
                                                 << " bytes threaded, " << oneLoopBytes.size() << " in one loop";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(CodecThreads, StageThreads, ::testing::Values(1, 4),
                         [](const ::testing::TestParamInfo<int>& info) { return std::to_string(info.param); });

// Converts `input` with `options` (and into `moreOutputs`, each with its
// options), requests a stop once the conversion has reported progress a
// few times and `frames` pictures, and returns the time from the request to
// the terminate notification.
std::chrono::milliseconds StopDuringConversion(
    const std::string& input, const TOptionList& options, const std::string& output, int frames,
    const std::vector<std::pair<TOptionList, std::string>>& moreOutputs = {}) {
  auto engine = std::make_shared<TCustomFFmpeg>();
  engine->Reset();
  AVL.av_log_set_level(AV_LOG_ERROR);
  EXPECT_TRUE(engine->StageThreads()) << "stage threads are the default";
  engine->SetThreadCount(0);
  engine->SetProgressInterval(50000);
  std::mutex lock;
  std::condition_variable changed;
  int reports = 0, pictures = 0;
  bool terminated = false;
  std::chrono::steady_clock::time_point end;
  engine->OnProgress = [&](TCustomFFmpeg&, int frameNumber, int, int, float, float, int64_t, int) {
    std::lock_guard<std::mutex> guard(lock);
    ++reports;
    pictures = frameNumber;
    changed.notify_all();
  };
  engine->OnTerminate = [&](TCustomFFmpeg&) {
    std::lock_guard<std::mutex> guard(lock);
    end = std::chrono::steady_clock::now();
    terminated = true;
    changed.notify_all();
  };
  EXPECT_TRUE(engine->AddInputFile(input));
  for (const auto& [name, value] : options) engine->ApplyOption(name, value);
  EXPECT_TRUE(engine->AddOutputFile(output));
  for (const auto& [more, path] : moreOutputs) {
    for (const auto& [name, value] : more) engine->ApplyOption(name, value);
    EXPECT_TRUE(engine->AddOutputFile(path));
  }
  TFFmpegThread* thread = engine->StartRun(true);
  if (!thread) {
    ADD_FAILURE() << "the run did not start";
    return {};
  }
  thread->Resume();

  std::chrono::steady_clock::time_point request;
  {
    std::unique_lock<std::mutex> guard(lock);
    EXPECT_TRUE(changed.wait_for(guard, kConversionCap,
                                 [&] { return (reports >= 4 && pictures >= frames) || terminated; }));
    EXPECT_FALSE(terminated) << "the conversion ended before the stop";
    request = std::chrono::steady_clock::now();
    engine->RequestStop();
    EXPECT_TRUE(changed.wait_for(guard, kConversionCap, [&] { return terminated; }));
  }
  engine->WaitForThreads();
  EXPECT_FALSE(engine->ExceptionRaised()) << engine->TerminateMessage();
  const auto latency = std::chrono::duration_cast<std::chrono::milliseconds>(end - request);
  ::testing::Test::RecordProperty("stop_ms", static_cast<int>(latency.count()));
  std::printf("stop request to terminate: %lld ms\n", static_cast<long long>(latency.count()));
  return latency;
}

// A stop ends a run within this time (ms); under the sanitizers, which
// make every thread several times slower, within five times it.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr long long kStopLimitMs = 500;
#else
constexpr long long kStopLimitMs = 100;
#endif

// A machine busy with other work can hold any thread for a while: the
// quickest of up to three stops is the one measured.
template <typename TStop>
std::chrono::milliseconds QuickestStop(TStop stop) {
  std::chrono::milliseconds quickest = stop();
  for (int attempt = 1; attempt < 3 && quickest.count() >= kStopLimitMs; ++attempt) quickest = std::min(quickest, stop());
  return quickest;
}

// From the stop request to the terminate notification of a threaded run in
// the middle of a long conversion; the file is complete and plays.
TEST(StageThreadsStop, StopEndsTheRunAtOnceWithAPlayableFile) {
  RequireLibraries();
  TempDir dir;
  ClipSpec spec;
  spec.seconds = 60;
  spec.width = 640;
  spec.height = 360;
  ASSERT_TRUE(MakeClip(dir.file("long.mp4"), spec));
  const std::string output = dir.file("stopped.mp4");
  const auto latency = QuickestStop([&] {
    return StopDuringConversion(dir.file("long.mp4"), {{"vcodec", "mpeg4"}, {"b", "1200k"}, {"acodec", "aac"}},
                                output, 30);
  });
  EXPECT_LT(latency.count(), kStopLimitMs) << "the run ended " << latency.count() << " ms after the stop request";

  const auto probe = ProbeFile(output);
  ASSERT_FALSE(probe.empty()) << "ffprobe reads the stopped file";
  EXPECT_GT(ProbeNumber(probe, "format.duration"), 0.5);
  EXPECT_LT(ProbeNumber(probe, "format.duration"), 59);
  EXPECT_GT(CountFrames(output, "video"), 10);
}

// The same with an encoder that looks ahead, once it has written pictures:
// x264 holds dozens more, which a stopped file leaves out rather than take
// their encoding time. Stopped before it has written any, it still gives a
// picture.
class StageThreadsLookAheadStop : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RequireLibraries();
    Dir = std::make_unique<TempDir>();
    ClipSpec spec;
    spec.seconds = 60;
    spec.width = 1280;
    spec.height = 720;
    ASSERT_TRUE(MakeClip(Dir->file("long.mp4"), spec));
  }
  static void TearDownTestSuite() { Dir.reset(); }
  static std::unique_ptr<TempDir> Dir;
};
std::unique_ptr<TempDir> StageThreadsLookAheadStop::Dir;

TEST_F(StageThreadsLookAheadStop, StopEndsTheRunAtOnce) {
  const std::string output = Dir->file("stopped.mp4");
  const auto latency = QuickestStop([&] {
    return StopDuringConversion(Dir->file("long.mp4"), {{"vcodec", "libx264"}, {"acodec", "aac"}}, output, 100);
  });
  EXPECT_LT(latency.count(), kStopLimitMs) << "the run ended " << latency.count() << " ms after the stop request";

  const auto probe = ProbeFile(output);
  ASSERT_FALSE(probe.empty()) << "ffprobe reads the stopped file";
  EXPECT_GE(FindStream(probe, "video"), 0);
  EXPECT_GT(CountFrames(output, "video"), 10);
}

// With two output files, each on a thread of its own, the stop ends both.
TEST_F(StageThreadsLookAheadStop, StopEndsEveryOutputThreadAtOnce) {
  const std::string first = Dir->file("first.mp4"), second = Dir->file("second.avi");
  const auto latency = QuickestStop([&] {
    return StopDuringConversion(Dir->file("long.mp4"), {{"vcodec", "libx264"}, {"acodec", "aac"}}, first, 100,
                                {{{{"vcodec", "mpeg4"}, {"acodec", "mp2"}}, second}});
  });
  EXPECT_LT(latency.count(), kStopLimitMs) << "the run ended " << latency.count() << " ms after the stop request";
  for (const std::string& output : {first, second}) {
    ASSERT_FALSE(ProbeFile(output).empty()) << "ffprobe reads " << output;
    EXPECT_GT(CountFrames(output, "video"), 10) << output;
  }
}

// A failure on one output's thread ends the run with its message; neither
// output is left behind.
TEST(StageThreadsOutputs, FailureOfOneOutputEndsTheRun) {
  RequireLibraries();
  TempDir dir;
  ClipSpec spec;
  spec.seconds = 4;
  ASSERT_TRUE(MakeClip(dir.file("clip.mp4"), spec));
  const std::string bench = ShellQuote(std::string(FENNICK_BIN_DIR) + "/fennick-bench");
  const CommandResult result =
      RunCommand(bench + " -i " + ShellQuote(dir.file("clip.mp4")) + " -vcodec mpeg4 -acodec aac " +
                 ShellQuote(dir.file("kept.mp4")) + " -f avi -vcodec mpeg4 -acodec mp2 /dev/full 2>&1");
  EXPECT_NE(result.exitCode, 0);
  EXPECT_TRUE(Contains(result.output, "av_interleaved_write_frame(): No space left on device")) << result.output;
  EXPECT_FALSE(std::filesystem::exists(dir.file("kept.mp4")));
}

// With two output files the closing summary counts what both hold.
TEST(StageThreadsOutputs, TheSummaryCountsEveryOutputFile) {
  RequireLibraries();
  TempDir dir;
  ClipSpec spec;
  spec.seconds = 2;
  ASSERT_TRUE(MakeClip(dir.file("clip.mp4"), spec));
  TCustomFFmpeg engine;
  engine.Reset();
  std::vector<std::string> log;
  engine.OnLog = [&log](TCustomFFmpeg&, int, const std::string& text) { log.push_back(text); };
  ASSERT_TRUE(engine.AddInputFile(dir.file("clip.mp4"))) << engine.LastErrorText();
  for (const char* file : {"a.mp4", "b.avi"}) {
    engine.ApplyOption("vcodec", "mpeg4");
    engine.ApplyOption("an", "");
    ASSERT_TRUE(engine.AddOutputFile(dir.file(file))) << engine.LastErrorText();
  }
  RunCapped(engine);
  ASSERT_TRUE(engine.Finished() && !engine.ExceptionRaised()) << engine.TerminateMessage();
  const int64_t bytes = VideoPacketBytes(dir.file("a.mp4")) + VideoPacketBytes(dir.file("b.avi"));
  const auto summary = std::find_if(log.begin(), log.end(), [](const std::string& line) { return line.starts_with("video:"); });
  ASSERT_NE(summary, log.end());
  EXPECT_NEAR(std::atof(summary->c_str() + 6), bytes / 1024.0, 1.0) << *summary;
}

TEST_F(StageThreadsLookAheadStop, StopAtTheStartKeepsAPicture) {
  const std::string output = Dir->file("early.mp4");
  StopDuringConversion(Dir->file("long.mp4"), {{"vcodec", "libx264"}, {"acodec", "aac"}}, output, 0);
  ASSERT_FALSE(ProbeFile(output).empty()) << "ffprobe reads the stopped file";
  EXPECT_GE(CountFrames(output, "video"), 1);
}

}  // namespace
}  // namespace fennick::test
