// Timestamps that would make a conversion endless or its progress wrong:
// garbled jumps in damaged files, out-of-range times and frame counts on the
// command line, a stop while a long stretch of silence is inserted, and the
// progress of a picture that outlasts its sound.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <sstream>

#include "tests/transcode_support.h"

namespace fennick::test {
namespace {

const std::string kBin = std::string(FENNICK_BIN_DIR) + "/fennick-convert";
const std::string kMedia = std::string(FENNICK_SOURCE_DIR) + "/tests/media/";
// A hang is stopped here (fennick-convert then ends as after Ctrl-C, with
// its own exit status): far beyond what these short conversions need.
const std::string kTimeout = "timeout --preserve-status -s TERM 20 ";

class TimestampFaults : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RequireLibraries();
    Dir = std::make_unique<TempDir>();
  }
  static void TearDownTestSuite() { Dir.reset(); }
  static std::unique_ptr<TempDir> Dir;
};
std::unique_ptr<TempDir> TimestampFaults::Dir;

double StreamDuration(const std::map<std::string, std::string>& probe, const std::string& kind) {
  const int index = FindStream(probe, kind);
  return index < 0 ? -1 : ProbeNumber(probe, "streams.stream." + std::to_string(index) + ".duration");
}

// Damaged clips of about 1.2 s whose timestamps jump by days (a wrapped
// millisecond clock) or hours (one garbled picture time) convert, through
// a profile and through the engine's options, quickly to about their own
// length, picture and sound together.
TEST_F(TimestampFaults, DamagedTimestampsConvertToTheClipsOwnLength) {
  for (const std::string name : {"wrapped-ts.asf", "jump.rm"}) {
    const std::string source = kMedia + name;
    const std::string folder = Dir->file(name + "-profile");
    std::filesystem::create_directory(folder);
    const std::string engineOut = Dir->file(name + "-engine.mp4");
    const struct {
      std::string Command, Output;
    } runs[] = {
        {ShellQuote(kBin) + " -o " + ShellQuote(folder) + " " + ShellQuote(source),
         folder + "/" + std::filesystem::path(name).stem().string() + ".mp4"},
        {ShellQuote(kBin) + " --engine -i " + ShellQuote(source) + " " + ShellQuote(engineOut), engineOut},
    };
    for (const auto& run : runs) {
      const auto start = std::chrono::steady_clock::now();
      const CommandResult result = RunCommand(kTimeout + run.Command);
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      ASSERT_EQ(result.exitCode, 0) << run.Command << "\n" << result.output;
      EXPECT_LT(seconds, 15) << run.Command;
      const auto probe = ProbeFile(run.Output);
      const double video = StreamDuration(probe, "video"), audio = StreamDuration(probe, "audio");
      EXPECT_NEAR(ProbeNumber(probe, "format.duration"), 1.2, 0.5) << run.Output;
      EXPECT_NEAR(video, 1.2, 0.5) << run.Output;
      EXPECT_NEAR(audio, 1.2, 0.5) << run.Output;
      EXPECT_NEAR(video, audio, 0.2) << run.Output;
    }
  }
}

// A start position or duration below 0 or beyond what the task records can
// hold, and a negative frame count, are refused before anything is written.
TEST_F(TimestampFaults, OutOfRangeTimesAndFrameCountsAreRefused) {
  const std::string clip = Dir->file("clip.mp4");
  ASSERT_TRUE(MakeClip(clip));
  const struct {
    std::string Options, Message;
  } cases[] = {
      {"-ss -9223372036", "Invalid duration for ss: -9223372036: it must not be negative"},
      {"-ss 9223372036", "Invalid duration for ss: 9223372036: it must not exceed 596:31:23.647"},
      {"-t -5", "Invalid duration for t: -5: it must not be negative"},
      {"-aframes -5", "aframes must not be negative: -5"},
      {"-vframes -1", "vframes must not be negative: -1"},
  };
  for (const auto& c : cases) {
    const std::string out = Dir->file("refused.mp4");
    const CommandResult result = RunCommand(kTimeout + ShellQuote(kBin) + " --engine " + c.Options + " -i " +
                                            ShellQuote(clip) + " " + ShellQuote(out));
    EXPECT_EQ(result.exitCode, 1) << c.Options << "\n" << result.output;
    EXPECT_NE(result.output.find(c.Message), std::string::npos) << c.Options << "\n" << result.output;
    EXPECT_FALSE(std::filesystem::exists(out)) << c.Options;
  }
}

// Sound that starts almost ten minutes after the picture is preceded by as
// much silence ("async"); a stop requested as that silence begins ends the
// run at once, with a playable file.
TEST_F(TimestampFaults, StopDuringLongSilenceEndsAtOnce) {
  const std::string picture = Dir->file("picture.mp4"), sound = Dir->file("sound.wav");
  ASSERT_TRUE(MakeMedia(picture, "-f lavfi -i testsrc=size=64x48:rate=25:duration=2 -c:v mpeg4"));
  ASSERT_TRUE(MakeMedia(sound, "-f lavfi -i sine=duration=1"));
  const std::string out = Dir->file("late-sound.mkv");
  TCustomFFmpeg engine;
  engine.Reset();
  AVL.av_log_set_level(AV_LOG_ERROR);
  ASSERT_TRUE(engine.AddInputFile(picture)) << engine.LastErrorText();
  engine.ApplyOption("itsoffset", "595");
  ASSERT_TRUE(engine.AddInputFile(sound)) << engine.LastErrorText();
  for (const auto& [name, value] :
       TOptionList{{"map", "0.0"}, {"map", "1.0"}, {"async", "1"}, {"acodec", "libvorbis"}, {"ac", "6"},
                   {"ar", "48000"}, {"v", "3"}})
    engine.ApplyOption(name, value);
  AVL.av_log_set_level(AV_LOG_ERROR);  // the engine's own lines only
  ASSERT_TRUE(engine.AddOutputFile(out)) << engine.LastErrorText();
  std::atomic<bool> stopped{false};
  std::chrono::steady_clock::time_point stopTime;
  engine.OnLog = [&](TCustomFFmpeg& e, int, const std::string& text) {
    if (!stopped && text.find("audio samples of silence") != std::string::npos) {
      stopTime = std::chrono::steady_clock::now();
      stopped = true;
      e.RequestStop();
    }
  };
  RunCapped(engine);
  ASSERT_TRUE(stopped) << "no silence was inserted";
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - stopTime).count();
  EXPECT_LT(seconds, 2.0);
  EXPECT_FALSE(engine.ExceptionRaised()) << engine.TerminateMessage();
  EXPECT_FALSE(engine.Finished());
  EXPECT_GE(FindStream(ProbeFile(out), "video"), 0);
}

// Thirty seconds of picture with one second of sound: once the sound has
// ended the progress follows the picture, and the last report gives the
// whole length.
TEST_F(TimestampFaults, ProgressFollowsThePictureAfterTheSoundEnds) {
  const std::string source = Dir->file("short-sound.mp4");
  ASSERT_TRUE(MakeMedia(source, "-f lavfi -i testsrc2=size=640x360:rate=25:duration=30 -f lavfi -i sine=duration=1 "
                                "-c:v mpeg4 -q:v 5 -c:a aac"));
  const std::string folder = Dir->file("progress");
  std::filesystem::create_directory(folder);
  const std::string lines = Dir->file("progress.json");
  const CommandResult run = RunCommand(kTimeout + ShellQuote(kBin) + " --json -o " + ShellQuote(folder) + " " +
                                       ShellQuote(source) + " >" + ShellQuote(lines) + " 2>/dev/null");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  // "frame time_ms total_ms" of every progress event, read by python3.
  const CommandResult result = RunCommand(
      "python3 -c 'import json,sys\n"
      "for line in sys.stdin:\n"
      "  e = json.loads(line)\n"
      "  if e[\"event\"] == \"progress\": print(e[\"frame\"], e[\"time_ms\"], e[\"total_ms\"])' <" +
      ShellQuote(lines));
  ASSERT_EQ(result.exitCode, 0) << result.output;
  std::istringstream events(result.output);
  int frame = 0, timeMs = 0, totalMs = 0, count = 0;
  while (events >> frame >> timeMs >> totalMs) {
    ++count;
    EXPECT_EQ(totalMs, 30000);
    // The sound ended at 1 s; the picture holds the time back no further
    // than the few seconds it takes to tell that the sound has ended.
    EXPECT_GE(timeMs, frame * 40 - 6000) << "frame " << frame;
  }
  ASSERT_GE(count, 1) << result.output;
  EXPECT_NEAR(timeMs, 30000, 500) << "the last report";
}

}  // namespace
}  // namespace fennick::test
