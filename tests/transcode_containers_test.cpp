// Conversions of a short generated clip (video with audio) into the common
// containers, checked by ffprobe: codecs, frame size, frame counts, durations.
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/transcode_support.h"

namespace fennick::test {
namespace {

struct TContainerCase {
  std::string Extension;
  TOptionList Options;
  std::string VideoCodec, AudioCodec;  // as ffprobe names them
  int Width, Height;
  friend void PrintTo(const TContainerCase& c, std::ostream* os) { *os << c.Extension; }
};

class TranscodeContainers : public ::testing::TestWithParam<TContainerCase> {
 protected:
  static void SetUpTestSuite() {
    RequireLibraries();
    Dir = std::make_unique<TempDir>();
    ClipSpec spec;
    spec.seconds = 2;
    ASSERT_TRUE(MakeClip(Dir->file("source.mp4"), spec));
  }
  static void TearDownTestSuite() {
    Dir.reset();
  }
  static std::unique_ptr<TempDir> Dir;
};
std::unique_ptr<TempDir> TranscodeContainers::Dir;

TEST_P(TranscodeContainers, ConvertsWithExpectedStreams) {
  const TContainerCase& c = GetParam();
  const std::string out = Dir->file("out." + c.Extension);
  const TConversion run = Convert(Dir->file("source.mp4"), out, c.Options);
  ASSERT_TRUE(run.Added) << run.Message;
  ASSERT_FALSE(run.Exception) << run.Message;
  EXPECT_TRUE(run.Finished);

  const auto probe = ProbeFile(out);
  ASSERT_FALSE(probe.empty()) << "ffprobe refused " << out;
  const int v = FindStream(probe, "video");
  const int a = FindStream(probe, "audio");
  ASSERT_GE(v, 0);
  EXPECT_EQ(StreamValue(probe, v, "codec_name"), c.VideoCodec);
  ASSERT_GE(a, 0);
  EXPECT_EQ(StreamValue(probe, a, "codec_name"), c.AudioCodec);
  const double audioDuration = ProbeNumber(probe, "streams.stream." + std::to_string(a) + ".duration");
  if (audioDuration > 0) {
    EXPECT_NEAR(audioDuration, 2.0, 0.1);
  }
  EXPECT_EQ(StreamValue(probe, v, "width"), std::to_string(c.Width));
  EXPECT_EQ(StreamValue(probe, v, "height"), std::to_string(c.Height));
  EXPECT_NEAR(CountFrames(out, "video"), 50, 1);
  const double videoDuration = ProbeNumber(probe, "streams.stream." + std::to_string(v) + ".duration");
  if (videoDuration > 0) {
    EXPECT_NEAR(videoDuration, 2.0, 0.041);
  }
  const double total = ProbeNumber(probe, "format.duration");
  EXPECT_GT(total, 1.9);
  // The last report and its summary reached the log.
  EXPECT_TRUE(run.Logged("Lsize=")) << "no last report";
  EXPECT_TRUE(run.Logged("muxing overhead"));
  EXPECT_TRUE(run.Logged("Stream mapping:"));
}

INSTANTIATE_TEST_SUITE_P(
    Containers, TranscodeContainers,
    ::testing::Values(
        TContainerCase{"mp4", {{"vcodec", "mpeg4"}, {"acodec", "aac"}, {"ab", "96000"}}, "mpeg4", "aac", 320, 240},
        TContainerCase{"avi", {{"vcodec", "mpeg4"}, {"acodec", "libmp3lame"}}, "mpeg4", "mp3", 320, 240},
        TContainerCase{"mpg", {{"vcodec", "mpeg1video"}, {"b", "800000"}, {"acodec", "mp2"}}, "mpeg1video", "mp2", 320,
                       240},
        TContainerCase{"flv", {{"vcodec", "flv"}, {"acodec", "libmp3lame"}, {"ar", "22050"}}, "flv1", "mp3", 320, 240},
        TContainerCase{"3gp",
                       {{"vcodec", "h263"}, {"s", "176x144"}, {"acodec", "aac"}, {"ar", "22050"}, {"ac", "1"}},
                       "h263", "aac", 176, 144}),
    [](const auto& info) { return info.param.Extension; });

// Stream copy of both streams: the packets arrive unchanged.
TEST(TranscodeCopy, CopiesBothStreamsIntoAnotherContainer) {
  RequireLibraries();
  TempDir dir;
  ClipSpec spec;
  spec.seconds = 2;
  ASSERT_TRUE(MakeClip(dir.file("in.mp4"), spec));
  const TConversion run =
      Convert(dir.file("in.mp4"), dir.file("copy.mkv"), {{"vcodec", "copy"}, {"acodec", "copy"}});
  ASSERT_TRUE(run.Added) << run.Message;
  ASSERT_FALSE(run.Exception) << run.Message;
  const auto probe = ProbeFile(dir.file("copy.mkv"));
  EXPECT_EQ(StreamValue(probe, FindStream(probe, "video"), "codec_name"), "mpeg4");
  EXPECT_EQ(StreamValue(probe, FindStream(probe, "audio"), "codec_name"), "aac");
  EXPECT_EQ(CountFrames(dir.file("copy.mkv"), "video"), 50);
  EXPECT_NEAR(ProbeNumber(probe, "format.duration"), 2.0, 0.05);
}

// MPEG-TS into AVI: the source's tags mean other codecs in AVI (so the muxer
// picks its own), and the 29.97 fps video keeps its exact frame duration.
TEST(TranscodeCopy, MpegTsIntoAviKeepsCodecsAndExactFrameRate) {
  RequireLibraries();
  TempDir dir;
  ASSERT_TRUE(MakeMedia(dir.file("in.ts"), "-f lavfi -i testsrc=size=64x48:rate=30000/1001:duration=1 "
                                           "-f lavfi -i sine=duration=1 -c:v mpeg2video -c:a mp2"));
  const TConversion run =
      Convert(dir.file("in.ts"), dir.file("copy.avi"), {{"vcodec", "copy"}, {"acodec", "copy"}});
  ASSERT_TRUE(run.Added) << run.Message;
  ASSERT_FALSE(run.Exception) << run.Message;
  const auto probe = ProbeFile(dir.file("copy.avi"));
  const int v = FindStream(probe, "video");
  EXPECT_EQ(StreamValue(probe, v, "codec_name"), "mpeg2video");
  EXPECT_EQ(StreamValue(probe, FindStream(probe, "audio"), "codec_name"), "mp2");
  EXPECT_EQ(StreamValue(probe, v, "time_base"), "1001/30000");
}

// Subtitles re-encoded into another text format keep their cues: when each
// starts and how long it shows.
TEST(TranscodeSubtitles, TextCuesKeepTheirTimes) {
  RequireLibraries();
  TempDir dir;
  const std::string cues =
      "1\n00:00:00,500 --> 00:00:01,200\nHello\n\n2\n00:00:01,800 --> 00:00:02,500\nWorld\n\n";
  std::ofstream(dir.file("cues.srt")) << cues;
  ASSERT_TRUE(MakeMedia(dir.file("subs.mkv"), "-f lavfi -i testsrc=size=64x48:rate=25:duration=3 -i " +
                                                  ShellQuote(dir.file("cues.srt")) + " -c:v mpeg4 -c:s ass"));
  const TConversion run = Convert(dir.file("subs.mkv"), dir.file("out.srt"), {{"scodec", "subrip"}});
  ASSERT_TRUE(run.Added) << run.Message;
  ASSERT_FALSE(run.Exception) << run.Message;
  std::ifstream in(dir.file("out.srt"));
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, cues);
}

// An option of one encoder's own ("crf" of libx264) set before the encoder
// is chosen still reaches it; x264 writes its settings into the stream.
TEST(TranscodePrivateOptions, EncoderOwnOptionReachesTheEncoder) {
  RequireLibraries();
  TempDir dir;
  ClipSpec spec;
  spec.width = 160;
  spec.height = 120;
  spec.audio = false;
  ASSERT_TRUE(MakeClip(dir.file("in.mp4"), spec));
  const std::string out = dir.file("crf.mp4");
  const TConversion run = Convert(dir.file("in.mp4"), out, {{"crf", "45"}, {"vcodec", "libx264"}});
  ASSERT_TRUE(run.Added) << run.Message;
  ASSERT_FALSE(run.Exception) << run.Message;
  std::ifstream in(out, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(bytes.find("crf=45.0"), std::string::npos);
}

// "sameq": the decoders of this library generation report no picture
// quality, so the source's bit rate is the target: the same encoding as
// asking for that bit rate, not the finest fixed quantiser.
TEST(TranscodeSameQuality, TargetsTheSourceBitRate) {
  RequireLibraries();
  TempDir dir;
  // Fine detail, so that the quantiser decides the size.
  ASSERT_TRUE(MakeMedia(dir.file("in.mp4"), "-f lavfi -i testsrc2=size=320x240:rate=25:duration=1 "
                                            "-vf noise=alls=12:allf=t -c:v mpeg4 -q:v 8"));
  const std::string sourceRate = StreamValue(ProbeFile(dir.file("in.mp4")), 0, "bit_rate");
  ASSERT_GT(std::atoi(sourceRate.c_str()), 0);
  const TConversion same = Convert(dir.file("in.mp4"), dir.file("sameq.avi"), {{"vcodec", "mpeg4"}, {"sameq", ""}});
  ASSERT_FALSE(same.Exception) << same.Message;
  const TConversion rate = Convert(dir.file("in.mp4"), dir.file("rate.avi"), {{"vcodec", "mpeg4"}, {"b", sourceRate}});
  ASSERT_FALSE(rate.Exception) << rate.Message;
  const double sameSize = static_cast<double>(std::filesystem::file_size(dir.file("sameq.avi")));
  const double rateSize = static_cast<double>(std::filesystem::file_size(dir.file("rate.avi")));
  EXPECT_NEAR(sameSize / rateSize, 1.0, 0.02);
}

// RV20 is offered (by the RM row) without being the default of any row, so
// the conversions of every row's defaults do not reach it.
TEST(TranscodeVideoCodecs, Rv20EncodesEveryPicture) {
  RequireLibraries();
  TempDir dir;
  ClipSpec spec;
  spec.width = 176;
  spec.height = 144;
  spec.audio = false;
  ASSERT_TRUE(MakeClip(dir.file("small.mp4"), spec));
  const std::string out = dir.file("rv20.rm");
  const TConversion run = Convert(dir.file("small.mp4"), out, {{"vcodec", "rv20"}, {"an", "1"}});
  ASSERT_TRUE(run.Added) << run.Message;
  ASSERT_FALSE(run.Exception) << run.Message;
  EXPECT_EQ(StreamValue(ProbeFile(out), 0, "codec_name"), "rv20");
  EXPECT_EQ(CountFrames(out, "video"), 25);
}

}  // namespace
}  // namespace fennick::test
