// How a run ends: a stop request, the recording time, the size limit, the
// frame limit; two-pass statistics; the video statistics file; the progress
// notification's values.
#include <atomic>
#include <filesystem>
#include <fstream>

#include "tests/transcode_support.h"

namespace fennick::test {
namespace {

class TranscodeLimits : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RequireLibraries();
    Dir = std::make_unique<TempDir>();
    ClipSpec spec;
    spec.seconds = 6;
    ASSERT_TRUE(MakeClip(Dir->file("clip.mp4"), spec));
    // The same in MKV (millisecond timestamps), a key picture every fifth.
    ASSERT_TRUE(MakeMedia(Dir->file("keys.mkv"), "-i " + ShellQuote(Dir->file("clip.mp4")) + " -c:v mpeg4 -g 5 -c:a copy"));
  }
  static void TearDownTestSuite() {
    Dir.reset();
  }
  static std::unique_ptr<TempDir> Dir;
};
std::unique_ptr<TempDir> TranscodeLimits::Dir;

TEST_F(TranscodeLimits, StopRequestEndsWithATrailerAndNotFinished) {
  const std::string out = Dir->file("stopped.mp4");
  std::atomic<int> reports{0};
  TCustomFFmpeg engine;
  engine.Reset();
  AVL.av_log_set_level(AV_LOG_ERROR);
  ASSERT_TRUE(engine.AddInputFile(Dir->file("clip.mp4"))) << engine.LastErrorText();
  engine.ApplyOption("vcodec", "mpeg4");
  engine.ApplyOption("acodec", "aac");
  ASSERT_TRUE(engine.AddOutputFile(out)) << engine.LastErrorText();
  engine.SetProgressInterval(1);
  engine.OnProgress = [&](TCustomFFmpeg& e, int frame, int, int, float, float, int64_t, int) {
    if (frame >= 20 && ++reports == 1) e.RequestStop();
  };
  std::atomic<bool> terminated{false};
  engine.OnTerminate = [&](TCustomFFmpeg&) { terminated = true; };
  TFFmpegThread* thread = engine.StartRun(true);
  ASSERT_NE(thread, nullptr);
  thread->Resume();
  for (int i = 0; i < 3000 && !terminated; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(terminated);
  EXPECT_FALSE(engine.ExceptionRaised()) << engine.TerminateMessage();
  EXPECT_FALSE(engine.Finished());
  // The file has its index: it plays, and holds only the beginning.
  const int frames = CountFrames(out, "video");
  EXPECT_GE(frames, 20);
  EXPECT_LT(frames, 150);
  const auto probe = ProbeFile(out);
  EXPECT_GE(FindStream(probe, "audio"), 0);
  EXPECT_LT(ProbeNumber(probe, "format.duration"), 5.9);
}

// Every stream ends at the recording time: the video to the picture, the
// audio within one encoder frame.
// Rate emulation ("re") paces every stream, a copied one too, by the time
// since the first packet read, whatever the timestamps' origin (here an hour,
// kept by "copyts"); a stop ends a wait at once (here in a 9 s pause).
TEST_F(TranscodeLimits, RateEmulationPacesFromTheFirstPacketAndStops) {
  const std::string in = Dir->file("pause.ts");
  ASSERT_TRUE(MakeMedia(in, "-f lavfi -i testsrc=size=64x48:rate=25:duration=2 "
                            "-vf setpts='PTS+if(gte(N\\,25)\\,9/TB\\,0)' -fps_mode passthrough "
                            "-c:v mpeg2video -output_ts_offset 3600"));
  const std::string out = Dir->file("paced.mkv");
  TCustomFFmpeg engine;
  engine.Reset();
  AVL.av_log_set_level(AV_LOG_ERROR);
  engine.ApplyOption("re", "1");
  engine.ApplyOption("copyts", "1");
  ASSERT_TRUE(engine.AddInputFile(in)) << engine.LastErrorText();
  engine.ApplyOption("vcodec", "copy");
  ASSERT_TRUE(engine.AddOutputFile(out)) << engine.LastErrorText();
  engine.SetProgressInterval(20000);
  std::atomic<int> frames{0};
  engine.OnProgress = [&](TCustomFFmpeg&, int frame, int, int, float, float, int64_t, int) { frames = frame; };
  std::atomic<bool> terminated{false};
  engine.OnTerminate = [&](TCustomFFmpeg&) { terminated = true; };
  TFFmpegThread* thread = engine.StartRun(true);
  ASSERT_NE(thread, nullptr);
  thread->Resume();
  // The pictures before the pause arrive in about a second.
  for (int i = 0; i < 1000 && frames < 25; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_GE(frames, 25);
  engine.RequestStop();
  for (int i = 0; i < 300 && !terminated; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(terminated);
  EXPECT_FALSE(engine.ExceptionRaised()) << engine.TerminateMessage();
  EXPECT_LT(CountFrames(out, "video"), 50);
}

TEST_F(TranscodeLimits, RecordingTimeEndsEveryStream) {
  const std::string out = Dir->file("short.mp4");
  const TConversion run = Convert(Dir->file("clip.mp4"), out,
                                  {{"vcodec", "mpeg4"}, {"acodec", "aac"}, {"t", "3"}});
  ASSERT_FALSE(run.Exception) << run.Message;
  EXPECT_TRUE(run.Finished);
  EXPECT_EQ(CountFrames(out, "video"), 75);
  const auto probe = ProbeFile(out);
  const int a = FindStream(probe, "audio");
  EXPECT_NEAR(ProbeNumber(probe, "streams.stream." + std::to_string(a) + ".duration"), 3.0, 1024.0 / 44100);
}

// Copied video from a container counting milliseconds (MKV) ends at the
// recording time too.
TEST_F(TranscodeLimits, RecordingTimeEndsCopiedVideo) {
  const std::string out = Dir->file("copied.mkv");
  const TConversion run = Convert(Dir->file("keys.mkv"), out, {{"vcodec", "copy"}, {"an", "1"}, {"t", "2"}});
  ASSERT_FALSE(run.Exception) << run.Message;
  EXPECT_EQ(CountFrames(out, "video"), 50);
}

// A start time given for the output: the copied video and the re-encoded
// audio both begin at its start.
TEST_F(TranscodeLimits, StartTimeStartsCopiedAndEncodedStreamsTogether) {
  const std::string out = Dir->file("late.mp4");
  const TConversion run = Convert(Dir->file("keys.mkv"), out, {{"vcodec", "copy"}, {"acodec", "aac"}, {"ss", "2"}});
  ASSERT_FALSE(run.Exception) << run.Message;
  const auto probe = ProbeFile(out);
  const double video = ProbeNumber(probe, "streams.stream." + std::to_string(FindStream(probe, "video")) + ".start_time");
  const double audio = ProbeNumber(probe, "streams.stream." + std::to_string(FindStream(probe, "audio")) + ".start_time");
  EXPECT_NEAR(video, audio, 0.05);
}

// A start time and a recording time together, with every stream copied:
// the output holds the second from 2 s to 3 s, whether the start time seeks
// the input or is given for the output.
TEST_F(TranscodeLimits, StartAndRecordingTimeTogetherCopyTheSpanBetween) {
  const TOptionList copy = {{"vcodec", "copy"}, {"acodec", "copy"}, {"t", "1"}};
  TOptionList forOutput = copy;
  forOutput.emplace_back("ss", "2");
  const std::pair<std::string, TConversion> runs[] = {
      {"input", Convert(Dir->file("keys.mkv"), Dir->file("span-input.mp4"), copy, {{"ss", "2"}})},
      {"output", Convert(Dir->file("keys.mkv"), Dir->file("span-output.mp4"), forOutput)}};
  for (const auto& [where, run] : runs) {
    SCOPED_TRACE("start time for the " + where);
    ASSERT_FALSE(run.Exception) << run.Message;
    const std::string out = Dir->file("span-" + where + ".mp4");
    EXPECT_NEAR(ProbeNumber(ProbeFile(out), "format.duration"), 1.0, 0.1);
    EXPECT_NEAR(CountFrames(out, "video"), 25, 1);
  }
}

TEST_F(TranscodeLimits, SizeLimitEndsTheOutput) {
  const std::string full = Dir->file("full.avi");
  ASSERT_FALSE(Convert(Dir->file("clip.mp4"), full, {{"vcodec", "mpeg4"}, {"an", "1"}}).Exception);
  const auto fullSize = std::filesystem::file_size(full);
  const std::string out = Dir->file("limited.avi");
  const int64_t limit = static_cast<int64_t>(fullSize / 3);
  const TConversion run =
      Convert(Dir->file("clip.mp4"), out, {{"vcodec", "mpeg4"}, {"an", "1"}, {"fs", std::to_string(limit)}});
  ASSERT_FALSE(run.Exception) << run.Message;
  const auto size = static_cast<int64_t>(std::filesystem::file_size(out));
  EXPECT_GT(size, limit / 2);
  EXPECT_LT(size, limit + 64 * 1024);  // the muxer's buffer and index
  EXPECT_GT(CountFrames(out, "video"), 0);
}

TEST_F(TranscodeLimits, FrameLimitEndsTheOutput) {
  const std::string out = Dir->file("ten.mp4");
  const TConversion run = Convert(Dir->file("clip.mp4"), out, {{"vcodec", "mpeg4"}, {"an", "1"}, {"vframes", "10"}});
  ASSERT_FALSE(run.Exception) << run.Message;
  EXPECT_EQ(CountFrames(out, "video"), 10);
}

TEST_F(TranscodeLimits, TwoPassWithAPrefix) {
  const std::string prefix = Dir->file("stats");
  const TOptionList common{{"vcodec", "mpeg4"}, {"b", "300000"}, {"an", "1"}, {"passlogfile", prefix}};
  TOptionList pass1 = common, pass2 = common;
  pass1.emplace_back("pass", "1");
  pass2.emplace_back("pass", "2");
  const TConversion first = Convert(Dir->file("clip.mp4"), Dir->file("pass1.avi"), pass1);
  ASSERT_FALSE(first.Exception) << first.Message;
  const std::string log = prefix + "-0.log";
  ASSERT_TRUE(std::filesystem::exists(log));
  EXPECT_GT(std::filesystem::file_size(log), 1000u);
  const TConversion second = Convert(Dir->file("clip.mp4"), Dir->file("pass2.avi"), pass2);
  ASSERT_FALSE(second.Exception) << second.Message;
  EXPECT_EQ(CountFrames(Dir->file("pass2.avi"), "video"), 150);

  // Pass 2 without statistics fails with the file named.
  const TConversion missing = Convert(Dir->file("clip.mp4"), Dir->file("pass2b.avi"),
                                      {{"vcodec", "mpeg4"}, {"an", "1"}, {"passlogfile", Dir->file("none")}, {"pass", "2"}});
  EXPECT_TRUE(missing.Exception);
  EXPECT_EQ(missing.Message, "creat open fail: " + Dir->file("none") + "-0.log");
}

TEST_F(TranscodeLimits, VideoStatisticsFileGetsOneLinePerFrame) {
  const std::string stats = Dir->file("vstats.log");
  const TConversion run = Convert(Dir->file("clip.mp4"), Dir->file("vstats.avi"),
                                  {{"vcodec", "mpeg4"}, {"an", "1"}, {"vframes", "30"}, {"vstats_file", stats}});
  ASSERT_FALSE(run.Exception) << run.Message;
  std::ifstream in(stats);
  std::string line;
  int lines = 0;
  while (std::getline(in, line)) {
    ++lines;
    EXPECT_EQ(line.rfind("frame= ", 0), 0u) << line;
    EXPECT_NE(line.find(" f_size= "), std::string::npos) << line;
    EXPECT_NE(line.find(" type= "), std::string::npos) << line;
  }
  EXPECT_EQ(lines, 30);
}

TEST_F(TranscodeLimits, ProgressCarriesItsSevenValues) {
  struct TValues {
    int Frame, Fps, Current;
    float Quality, BitRate;
    int64_t Size;
    int Total;
  };
  std::vector<TValues> seen;
  const TConversion run =
      Convert(Dir->file("clip.mp4"), Dir->file("progress.mp4"), {{"vcodec", "mpeg4"}, {"acodec", "aac"}}, {},
              [&](TCustomFFmpeg& e) {
                e.SetProgressInterval(100000);
                e.OnProgress = [&](TCustomFFmpeg&, int frame, int fps, int current, float q, float rate, int64_t size,
                                   int total) { seen.push_back({frame, fps, current, q, rate, size, total}); };
              });
  ASSERT_FALSE(run.Exception) << run.Message;
  ASSERT_FALSE(seen.empty());
  const TValues& last = seen.back();
  EXPECT_EQ(last.Frame, 150);
  EXPECT_NEAR(last.Current, 6000, 100);
  EXPECT_EQ(last.Total, 6000);
  EXPECT_GT(last.Quality, 0);
  EXPECT_GT(last.Size, 0);
  EXPECT_EQ(last.Size, static_cast<int64_t>(std::filesystem::file_size(Dir->file("progress.mp4"))));
  EXPECT_NEAR(last.BitRate, last.Size * 8.0 / (last.Current / 1000.0) / 1000.0, last.BitRate * 0.05);
  // With a progress handler the status line is not logged, the summary is.
  EXPECT_FALSE(run.Logged("Lsize="));
  EXPECT_TRUE(run.Logged("muxing overhead"));

  // Audio only: no video values.
  seen.clear();
  const TConversion audio = Convert(Dir->file("clip.mp4"), Dir->file("progress.m4a"), {{"acodec", "aac"}, {"vn", "1"}},
                                    {}, [&](TCustomFFmpeg& e) {
                                      e.OnProgress = [&](TCustomFFmpeg&, int frame, int fps, int current, float q,
                                                         float rate, int64_t size, int total) {
                                        seen.push_back({frame, fps, current, q, rate, size, total});
                                      };
                                    });
  ASSERT_FALSE(audio.Exception) << audio.Message;
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back().Frame, -1);
  EXPECT_EQ(seen.back().Fps, -1);
  EXPECT_EQ(seen.back().Quality, -1.0f);
}

TEST_F(TranscodeLimits, TheQuantiserHistogramIsEachRunsOwn) {
  // The last report's histogram digits follow "L"; the same conversion twice
  // in one process gives the same digits.
  const auto histogram = [&](const std::string& output) {
    const TConversion run = Convert(Dir->file("clip.mp4"), Dir->file(output),
                                    {{"vcodec", "mpeg4"}, {"qscale", "5"}, {"qphist", ""}, {"an", ""}});
    EXPECT_FALSE(run.Exception) << run.Message;
    for (const auto& line : run.Log)
      if (const size_t at = line.find(" L"); line.rfind("frame=", 0) == 0 && at != std::string::npos)
        return line.substr(at + 2, 32);
    return std::string("no last report");
  };
  const std::string first = histogram("first.mp4");
  EXPECT_EQ(first.size(), 32u) << first;
  EXPECT_EQ(histogram("second.mp4"), first);
}

}  // namespace
}  // namespace fennick::test
