#include <gtest/gtest.h>

#include <memory>

#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <vector>

#include "component/AVProbe.h"
#include "component/task_options.h"
#include "engine/FFmpeg.h"
#include "tests/test_support.h"

namespace fennick {
namespace {

// Collects the library log lines sent without a context object (the probe's
// own messages) while it exists.
class LogCapture {
 public:
  struct Line {
    int level;
    std::string text;
  };
  LogCapture() {
    Lines().clear();
    AVL.av_log_set_callback(&Callback);
  }
  ~LogCapture() { AVL.av_log_set_callback(AVL.av_log_default_callback); }
  static std::vector<Line>& Lines() {
    static std::vector<Line> lines;
    return lines;
  }

 private:
  static void Callback(void* context, int level, const char* format, va_list args) {
    if (context) return;
    char buf[1024];
    std::vsnprintf(buf, sizeof buf, format, args);
    static std::mutex lock;
    std::lock_guard guard(lock);
    Lines().push_back({level, buf});
  }
};

void ExpectInitial(const TProbeVideoInfo& v) {
  EXPECT_EQ(FixedText(v.Language), "");
  EXPECT_EQ(FixedText(v.CodecName), "");
  EXPECT_EQ(v.StartTime, -1);
  EXPECT_EQ(v.StartTimeMicroseconds, -1);
  EXPECT_EQ(v.Duration, -1);
  EXPECT_EQ(v.DurationMicroseconds, -1);
  EXPECT_EQ(v.BitRate, -1);
  EXPECT_EQ(v.Width, -1);
  EXPECT_EQ(v.Height, -1);
  EXPECT_EQ(v.DisplayAspect, -1.0f);
  EXPECT_EQ(v.PixelFormat, -1);
  EXPECT_EQ(v.FrameRateNum, -1);
  EXPECT_EQ(v.FrameRateDen, -1);
}

void ExpectClosed(const TAVProbe& p) {
  EXPECT_FALSE(p.Loaded());
  for (int v : {p.StreamCount(), p.ProgramCount(), p.AudioStreamCount(), p.VideoStreamCount(),
                p.SubtitleStreamCount(), p.FirstAudioStreamIndex(), p.FirstVideoStreamIndex(),
                p.FirstSubtitleStreamIndex()})
    EXPECT_EQ(v, -1);
}

// Declared first so that, run in one process, it sees the libraries unloaded.
TEST(Probe, LoadFileWithoutLibrariesRaises) {
  if (LibrariesLoaded()) GTEST_SKIP() << "libraries already loaded in this process";
  TAVProbe probe;
  try {
    probe.LoadFile("/nonexistent.avi");
    FAIL() << "no exception";
  } catch (const EProbeError& e) {
    EXPECT_STREQ(e.what(), "LibAVCodec not loaded.");
  }
}

TEST(Probe, QueriesWithNothingLoadedLogAndLeaveInitialValues) {
  test::RequireLibraries();
  TAVProbe probe;
  ExpectClosed(probe);
  LogCapture log;
  TProbeFileInfo info;
  info.Duration = 77;
  SetFixedText(info.Title, "stale");
  probe.GetFileInfo(info);
  EXPECT_EQ(info.StartTime, -1);
  EXPECT_EQ(info.Duration, -1);
  EXPECT_EQ(info.BitRate, -1);
  EXPECT_EQ(info.Timestamp, -1);
  EXPECT_EQ(info.Year, -1);
  EXPECT_EQ(info.Track, -1);
  EXPECT_EQ(FixedText(info.Title), "");
  TProbeVideoInfo video;
  video.Width = 5;
  probe.GetVideoInfo(video);
  ExpectInitial(video);
  ASSERT_EQ(LogCapture::Lines().size(), 2u);
  for (const auto& line : LogCapture::Lines()) {
    EXPECT_EQ(line.level, AV_LOG_INFO);
    EXPECT_EQ(line.text, "file not loaded.\n");
  }
}

TEST(Probe, AudioOnlyFileHasNoVideoStream) {
  test::RequireLibraries();
  test::TempDir dir;
  const std::string file = dir.file("tone.wav");
  test::ClipSpec spec;
  spec.video = false;
  spec.seconds = 0.3;
  spec.audioCodec = "pcm_s16le";
  ASSERT_TRUE(test::MakeClip(file, spec));

  TAVProbe probe;
  ASSERT_TRUE(probe.LoadFile(file)) << probe.LastError();
  EXPECT_EQ(probe.StreamCount(), 1);
  EXPECT_EQ(probe.ProgramCount(), 0);
  EXPECT_EQ(probe.AudioStreamCount(), 1);
  EXPECT_EQ(probe.VideoStreamCount(), 0);
  EXPECT_EQ(probe.SubtitleStreamCount(), 0);
  EXPECT_EQ(probe.FirstAudioStreamIndex(), 0);
  EXPECT_EQ(probe.FirstVideoStreamIndex(), -1);
  EXPECT_EQ(probe.FirstSubtitleStreamIndex(), -1);
  EXPECT_EQ(probe.FormatName(), "");

  LogCapture log;
  TProbeVideoInfo video;
  probe.GetVideoInfo(video);
  ExpectInitial(video);
  ASSERT_EQ(LogCapture::Lines().size(), 1u);
  EXPECT_EQ(LogCapture::Lines()[0].level, AV_LOG_ERROR);
  EXPECT_EQ(LogCapture::Lines()[0].text, "no video stream.\n");

  TProbeFileInfo info;
  probe.GetFileInfo(info);
  EXPECT_NEAR(info.Duration, 300000, 30000);
  EXPECT_GT(info.BitRate, 0);

  probe.CloseFile();
  ExpectClosed(probe);
}

// A song with a cover picture (which the libraries show as a one-picture
// video stream) is described as the song alone.
TEST(Probe, ACoverPictureIsNoVideoStream) {
  test::RequireLibraries();
  test::TempDir dir;
  const std::string cover = dir.file("cover.png");
  ASSERT_TRUE(test::MakeMedia(cover, "-f lavfi -i testsrc=size=300x300:rate=1 -frames:v 1"));
  const std::string song = dir.file("song.mp3");
  ASSERT_TRUE(test::MakeMedia(song, "-f lavfi -i sine=duration=0.3 -i " + test::ShellQuote(cover) +
                                        " -map 0 -map 1 -c:a libmp3lame -c:v png -disposition:v attached_pic"));

  TAVProbe probe;
  ASSERT_TRUE(probe.LoadFile(song)) << probe.LastError();
  EXPECT_EQ(probe.StreamCount(), 1);
  EXPECT_EQ(probe.AudioStreamCount(), 1);
  EXPECT_EQ(probe.VideoStreamCount(), 0);
  EXPECT_EQ(probe.FirstVideoStreamIndex(), -1);
}

class ProbeVideo : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    test::RequireLibraries();
    dir = std::make_unique<test::TempDir>();
    file = dir->file("clip.mp4");
    ok = test::MakeMedia(file,
                         "-f lavfi -i testsrc=size=720x576:rate=25:duration=0.4 "
                         "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=0.4 "
                         "-vf setsar=16/15 -c:v mpeg4 -pix_fmt yuv420p -c:a aac "
                         "-metadata title=Title -metadata artist=Artist -metadata album=Album "
                         "-metadata comment=Remark -metadata copyright=Rights -metadata genre=Rock "
                         "-metadata date=2009-05-01 -metadata track=3/12 "
                         "-metadata creation_time=2009-02-13T23:31:30Z -metadata:s:v:0 language=eng");
  }
  static void TearDownTestSuite() {
    dir.reset();
  }
  void SetUp() override {
    ASSERT_TRUE(ok);
    ASSERT_TRUE(probe.LoadFile(file)) << probe.LastError();
  }
  static inline std::unique_ptr<test::TempDir> dir;
  static inline std::string file;
  static inline bool ok = false;
  TAVProbe probe;
};

TEST_F(ProbeVideo, CountsStreamsAndDescribesTheVideoStream) {
  const auto ff = test::ProbeFile(file);
  const int v = test::FindStream(ff, "video");
  const int a = test::FindStream(ff, "audio");
  EXPECT_EQ(probe.StreamCount(), 2);
  EXPECT_EQ(probe.VideoStreamCount(), 1);
  EXPECT_EQ(probe.AudioStreamCount(), 1);
  EXPECT_EQ(probe.FirstVideoStreamIndex(), v);
  EXPECT_EQ(probe.FirstAudioStreamIndex(), a);

  TProbeVideoInfo info;
  probe.GetVideoInfo(info);
  EXPECT_EQ(info.Width, 720);
  EXPECT_EQ(info.Height, 576);
  EXPECT_NEAR(info.DisplayAspect, 4.0 / 3.0, 1e-4);
  EXPECT_EQ(FixedText(info.CodecName), "mpeg4");
  EXPECT_EQ(FixedText(info.Language), "eng");
  EXPECT_EQ(info.PixelFormat, AV_PIX_FMT_YUV420P);
  EXPECT_EQ(info.FrameRateNum, 25);
  EXPECT_EQ(info.FrameRateDen, 1);
  EXPECT_GT(info.BitRate, 0);
  EXPECT_EQ(info.StartTimeMicroseconds, 0);
  EXPECT_NEAR(info.DurationMicroseconds, 400000, 1000);
  EXPECT_GT(info.Duration, 0);
  // The raw values are in the stream time base: rescaling them gives the µs ones.
  const double ratio = static_cast<double>(info.DurationMicroseconds) / info.Duration;
  EXPECT_NEAR(ratio * std::stod(test::StreamValue(ff, v, "duration_ts")),
              std::stod(test::StreamValue(ff, v, "duration")) * 1e6, 1000);

  // The same stream by its index.
  TProbeVideoInfo byIndex;
  probe.GetStreamVideoInfo(v, byIndex);
  EXPECT_EQ(byIndex.Width, 720);
  EXPECT_EQ(byIndex.DurationMicroseconds, info.DurationMicroseconds);
}

TEST_F(ProbeVideo, FileInformationComesFromTheContainer) {
  TProbeFileInfo info;
  probe.GetFileInfo(info);
  const auto ff = test::ProbeFile(file);
  EXPECT_EQ(info.StartTime, 0);
  EXPECT_NEAR(info.Duration, std::stod(ff.at("format.duration")) * 1e6, 1000);
  EXPECT_EQ(info.BitRate, std::stoi(ff.at("format.bit_rate")));
  EXPECT_EQ(info.Timestamp, 1234567890);
  EXPECT_EQ(FixedText(info.Title), "Title");
  EXPECT_EQ(FixedText(info.Author), "Artist");
  EXPECT_EQ(FixedText(info.RightsText), "Rights");
  EXPECT_EQ(FixedText(info.Comment), "Remark");
  EXPECT_EQ(FixedText(info.Album), "Album");
  EXPECT_EQ(FixedText(info.Genre), "Rock");
  EXPECT_EQ(info.Year, 2009);
  EXPECT_EQ(info.Track, 3);
}

TEST_F(ProbeVideo, BadStreamIndicesAreLoggedAndLeaveInitialValues) {
  const int audio = probe.FirstAudioStreamIndex();
  struct Case {
    int index;
    std::string message;
  } cases[] = {
      {2, "stream index #2 is invalid.\n"},
      {99, "stream index #99 is invalid.\n"},
      {-3, "stream index #-3 is invalid.\n"},
      {audio, "stream #" + std::to_string(audio) + " is not video stream.\n"},
  };
  for (const auto& c : cases) {
    LogCapture log;
    TProbeVideoInfo info;
    probe.GetStreamVideoInfo(c.index, info);
    ExpectInitial(info);
    ASSERT_EQ(LogCapture::Lines().size(), 1u) << c.index;
    EXPECT_EQ(LogCapture::Lines()[0].level, AV_LOG_ERROR);
    EXPECT_EQ(LogCapture::Lines()[0].text, c.message);
  }
}

TEST_F(ProbeVideo, NamedFormatIsRememberedAndUnknownFormatFailsWithoutOpening) {
  ASSERT_TRUE(probe.LoadFile(file, "mov"));
  EXPECT_EQ(probe.FormatName(), "mov");
  EXPECT_EQ(probe.StreamCount(), 2);

  // The name is checked before the file: a missing file still reports the format.
  EXPECT_FALSE(probe.LoadFile(dir->file("missing.mp4"), "no-such-format"));
  EXPECT_EQ(probe.LastError(), "Unknown input format: no-such-format");
  ExpectClosed(probe);
  EXPECT_EQ(probe.FormatName(), "mov");  // the last successful load's
}

TEST(Probe, MissingFileReportsTheOpenErrorText) {
  test::RequireLibraries();
  test::TempDir dir;
  const std::string missing = dir.file("missing.avi");
  TAVProbe probe;
  EXPECT_FALSE(probe.LoadFile(missing));
  EXPECT_EQ(probe.LastError(), OpenErrorText(AVERROR(ENOENT), missing));
  ExpectClosed(probe);
}

TEST(Probe, UnreadableFileFailsAndLeavesTheProbeClosed) {
  test::RequireLibraries();
  test::TempDir dir;
  const std::string junk = dir.file("junk.avi");
  std::ofstream(junk) << std::string(4096, '\x01');
  TAVProbe probe;
  EXPECT_FALSE(probe.LoadFile(junk));
  EXPECT_NE(probe.LastError(), "");
  ExpectClosed(probe);
}

}  // namespace
}  // namespace fennick
