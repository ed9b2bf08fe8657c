#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <memory>
#include <thread>

#include "engine/FFmpeg.h"
#include "tests/test_support.h"
#include "tests/transcode_support.h"

namespace fennick {
namespace {

class InputFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RequireLibraries();
    engine.Reset();
  }
  TCustomFFmpeg engine;
  test::TempDir dir;
};

TEST(OpenErrorTable, MapsLibraryResultsToTheRowsMeaningTheSame) {
  test::RequireLibraries();
  const std::string name = "/tmp/a b/ü.mp4";
  const struct {
    int code;
    std::string text;
  } rows[] = {
      {AVERROR(ENOENT), name + ": no such file or directory"},
      {AVERROR_INVALIDDATA, name + ": Unknown format"},
      {AVERROR(EINVAL), name + ": Error while parsing header"},
      {AVERROR(ENOMEM), name + ": memory allocation error occurred"},
      {AVERROR(EIO), name + ": I/O error occurred\r\nUsually that means that input file is truncated and/or corrupted."},
      {AVERROR(EDOM), name + ": Incorrect image filename syntax.\r\nUse '%d' to specify the image number:\r\n"
                             "  for img1.jpg, img2.jpg, ..., use 'img%d.jpg';\r\n"
                             "  for img001.jpg, img002.jpg, ..., use 'img%03d.jpg'."},
      {AVERROR(EACCES), name + ": Error while opening file: Permission denied"},
      {AVERROR_EOF, name + ": Error while opening file: End of file"},
  };
  for (const auto& row : rows) EXPECT_EQ(OpenErrorText(row.code, name), row.text) << row.code;
}

TEST_F(InputFiles, MissingAndNonMediaFilesFailWithTheTableTexts) {
  const std::string missing = dir.file("no such ñame é.mp4");
  EXPECT_FALSE(engine.AddInputFile(missing));
  EXPECT_EQ(engine.LastErrorText(), missing + ": no such file or directory");

  const std::string words = dir.file("plain words ü.xyz");
  std::ofstream(words) << "hello, this is not media at all, only a few words of text\n";
  EXPECT_FALSE(engine.AddInputFile(words));
  EXPECT_EQ(engine.LastErrorText(), words + ": Unknown format");
  EXPECT_EQ(engine.InputCount(), 0);
}

TEST_F(InputFiles, TakesFrameSizeRateAspectAndAudioFromTheInput) {
  const std::string clip = dir.file("pal clip é.mp4");
  test::ClipSpec spec;
  spec.width = 720;
  spec.height = 576;
  spec.seconds = 0.4;
  spec.sampleRate = 48000;
  spec.channels = 1;
  spec.extra = "-aspect 4:3";
  ASSERT_TRUE(test::MakeClip(clip, spec));

  ASSERT_TRUE(engine.AddInputFile(clip)) << engine.LastErrorText();
  const auto& s = engine.Settings();
  EXPECT_EQ(s.FrameWidth, 720);
  EXPECT_EQ(s.FrameHeight, 576);
  EXPECT_EQ(s.FrameRate.num, 25);
  EXPECT_EQ(s.FrameRate.den, 1);
  EXPECT_NEAR(s.AspectRatio, 4.0 / 3.0, 1e-5);  // SAR 16/15 on 720x576
  EXPECT_EQ(s.PixelFormat, AV_PIX_FMT_YUV420P);
  EXPECT_EQ(s.AudioSampleRate, 48000);
  EXPECT_EQ(s.AudioChannels, 1);
  EXPECT_NEAR(engine.TotalOutputDuration(), 400, 60);

  ASSERT_EQ(engine.InputCount(), 1);
  const auto& in = engine.InputFile(0);
  ASSERT_EQ(in.Decoders.size(), in.Context->nb_streams);
  for (unsigned i = 0; i < in.Context->nb_streams; ++i) {
    const AVCodecContext* dec = in.Decoders[i].get();
    EXPECT_EQ(dec->codec_id, in.Context->streams[i]->codecpar->codec_id);
    EXPECT_EQ(av_cmp_q(dec->pkt_timebase, in.Context->streams[i]->time_base), 0);
    EXPECT_EQ(in.DecoderCodecs[i], nullptr);
  }
  bool v, a, sub;
  engine.InputMediaKinds(v, a, sub);
  EXPECT_TRUE(v);
  EXPECT_TRUE(a);
  EXPECT_FALSE(sub);
}

TEST_F(InputFiles, AnInputWithoutSampleAspectGetsWidthToHeight) {
  const std::string clip = dir.file("no sar.nut");
  test::ClipSpec spec;
  spec.width = 320;
  spec.height = 180;
  spec.seconds = 0.2;
  spec.audio = false;
  spec.videoCodec = "rawvideo";
  spec.extra = "-vf setsar=0";
  ASSERT_TRUE(test::MakeClip(clip, spec));
  ASSERT_TRUE(engine.AddInputFile(clip)) << engine.LastErrorText();
  EXPECT_NEAR(engine.Settings().AspectRatio, 16.0 / 9.0, 1e-5);
}

TEST_F(InputFiles, StartPositionSeeksAndOffsetsTheTimestamps) {
  const std::string clip = dir.file("late start.mkv");
  test::ClipSpec spec;
  spec.width = 64;
  spec.height = 48;
  spec.audio = false;
  spec.extra = "-output_ts_offset 1";
  ASSERT_TRUE(test::MakeClip(clip, spec));

  engine.MutableSettings().StartTime = 10000000;
  engine.MutableSettings().InputTsScale[1] = 2.5;
  ASSERT_TRUE(engine.AddInputFile(clip)) << engine.LastErrorText();
  EXPECT_EQ(engine.InputFile(0).TsOffset, -11000000);
  EXPECT_EQ(engine.Settings().StartTime, 0);
  EXPECT_EQ(engine.InputFile(0).TsScale[1], 2.5);
  EXPECT_EQ(engine.Settings().InputTsScale[1], 0.0);  // the next input starts afresh

  // With copyts the offset is the "itsoffset" setting alone.
  engine.MutableSettings().StartTime = 10000000;
  engine.MutableSettings().CopyTs = true;
  engine.MutableSettings().InputTsOffset = 3000000;
  ASSERT_TRUE(engine.AddInputFile(clip)) << engine.LastErrorText();
  EXPECT_EQ(engine.InputFile(1).TsOffset, 3000000);
}

TEST_F(InputFiles, DecoderNamesAreCheckedBeforeTheFileIsTouched) {
  const std::string missing = dir.file("missing.mp4");
  const struct {
    const char* video;
    const char* audio;
    std::string error;
  } cases[] = {
      {"no_such_decoder", "", "Unknown decoder 'no_such_decoder'"},
      {"mp3", "", "Invalid decoder type 'mp3'"},
      {"", "h264", "Invalid decoder type 'h264'"},
  };
  for (const auto& c : cases) {
    engine.MutableSettings().VideoCodecName = c.video;
    engine.MutableSettings().AudioCodecName = c.audio;
    EXPECT_FALSE(engine.AddInputFile(missing));
    EXPECT_EQ(engine.LastErrorText(), c.error);
    // Per-input settings do not leak into the next input.
    EXPECT_TRUE(engine.Settings().VideoCodecName.empty());
    EXPECT_TRUE(engine.Settings().AudioCodecName.empty());
  }
}

TEST_F(InputFiles, AForcedDecoderIsKeptForItsStreams) {
  const std::string clip = dir.file("forced.avi");
  test::ClipSpec spec;
  spec.width = 64;
  spec.height = 48;
  spec.seconds = 0.2;
  spec.audio = false;
  ASSERT_TRUE(test::MakeClip(clip, spec));
  engine.MutableSettings().VideoCodecName = "mpeg4";
  ASSERT_TRUE(engine.AddInputFile(clip)) << engine.LastErrorText();
  ASSERT_NE(engine.InputFile(0).DecoderCodecs[0], nullptr);
  EXPECT_STREQ(engine.InputFile(0).DecoderCodecs[0]->name, "mpeg4");
  EXPECT_TRUE(engine.Settings().VideoCodecName.empty());
}

TEST_F(InputFiles, EncoderNamesResolveToThePlatformEquivalents) {
  const struct {
    const char* name;
    AVMediaType type;
    const char* encoder;  // nullptr: no library encoder
    AVCodecID id;
  } cases[] = {
      {"libfaac", AVMEDIA_TYPE_AUDIO, "aac", AV_CODEC_ID_AAC},
      {"mpeg4aac", AVMEDIA_TYPE_AUDIO, "aac", AV_CODEC_ID_AAC},
      {"vorbis", AVMEDIA_TYPE_AUDIO, "libvorbis", AV_CODEC_ID_VORBIS},
      {"libxvid", AVMEDIA_TYPE_VIDEO, "libxvid", AV_CODEC_ID_MPEG4},
      {"mpeg4", AVMEDIA_TYPE_VIDEO, "mpeg4", AV_CODEC_ID_MPEG4},
      {"libx264", AVMEDIA_TYPE_VIDEO, "libx264", AV_CODEC_ID_H264},
      {"libamr_nb", AVMEDIA_TYPE_AUDIO, nullptr, AV_CODEC_ID_AMR_NB},
  };
  for (const auto& c : cases) {
    AVCodecID id = AV_CODEC_ID_NONE;
    const AVCodec* codec = nullptr;
    ASSERT_TRUE(engine.FindCodecId(c.name, "encoder", c.type, id, &codec)) << c.name << engine.LastErrorText();
    EXPECT_EQ(id, c.id) << c.name;
    if (c.encoder) {
      ASSERT_NE(codec, nullptr) << c.name;
      EXPECT_STREQ(codec->name, c.encoder);
    } else {
      EXPECT_EQ(codec, nullptr);
    }
  }
  AVCodecID id;
  EXPECT_TRUE(engine.FindCodecId("", "encoder", AVMEDIA_TYPE_VIDEO, id));
  EXPECT_EQ(id, AV_CODEC_ID_NONE);
  EXPECT_FALSE(engine.FindCodecId("libmp3lame", "encoder", AVMEDIA_TYPE_VIDEO, id));
  EXPECT_EQ(engine.LastErrorText(), "Invalid encoder type 'libmp3lame'");
  EXPECT_FALSE(engine.FindCodecId("libamr_nb", "encoder", AVMEDIA_TYPE_VIDEO, id));
  EXPECT_EQ(engine.LastErrorText(), "Invalid encoder type 'libamr_nb'");
  EXPECT_FALSE(engine.FindCodecId("h265_nonsense", "encoder", AVMEDIA_TYPE_VIDEO, id));
  EXPECT_EQ(engine.LastErrorText(), "Unknown encoder 'h265_nonsense'");
}

TEST_F(InputFiles, DisabledKindsAreDiscarded) {
  const std::string clip = dir.file("both.mp4");
  test::ClipSpec spec;
  spec.width = 64;
  spec.height = 48;
  spec.seconds = 0.2;
  ASSERT_TRUE(test::MakeClip(clip, spec));
  engine.MutableSettings().AudioDisable = true;
  ASSERT_TRUE(engine.AddInputFile(clip)) << engine.LastErrorText();
  const AVFormatContext* ic = engine.InputFile(0).Context.get();
  for (unsigned i = 0; i < ic->nb_streams; ++i)
    EXPECT_EQ(ic->streams[i]->discard == AVDISCARD_ALL, ic->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO);
}

// Cover art reaches the libraries as a one-picture video stream (an attached
// picture). It is not video: a song with a cover adds as the song alone, and
// a second output of a clip with a cover takes the clip's video again.
TEST_F(InputFiles, ACoverPictureIsNotVideo) {
  const std::string cover = dir.file("cover.png");
  ASSERT_TRUE(test::MakeMedia(cover, "-f lavfi -i testsrc=size=300x300:rate=1 -frames:v 1"));
  const std::string attach = " -i " + test::ShellQuote(cover) + " -map 0 -map 1 -c:v:1 png -disposition:v:1 attached_pic";
  const std::string song = dir.file("song.mp3");
  ASSERT_TRUE(test::MakeMedia(song, "-f lavfi -i sine=duration=0.5" + attach + " -c:a libmp3lame"));
  const std::string clip = dir.file("clip.mp4");
  ASSERT_TRUE(test::MakeMedia(clip, "-f lavfi -i testsrc=size=64x48:rate=25:duration=0.4" + attach + " -c:v:0 mpeg4"));

  const TEngineSettings defaults = engine.Settings();
  ASSERT_TRUE(engine.AddInputFile(song)) << engine.LastErrorText();
  EXPECT_EQ(engine.Settings().FrameWidth, defaults.FrameWidth);
  EXPECT_EQ(engine.Settings().FrameRate.num, defaults.FrameRate.num);
  ASSERT_TRUE(engine.AddOutputFile(dir.file("song.mp4"))) << engine.LastErrorText();
  ASSERT_EQ(engine.OutputFile(0).Streams.size(), 1u);
  EXPECT_EQ(engine.OutputFile(0).Streams[0].Codec->codec_type, AVMEDIA_TYPE_AUDIO);

  TCustomFFmpeg twice;
  twice.Reset();
  ASSERT_TRUE(twice.AddInputFile(clip)) << twice.LastErrorText();
  ASSERT_TRUE(twice.AddOutputFile(dir.file("first.avi"))) << twice.LastErrorText();
  ASSERT_TRUE(twice.AddOutputFile(dir.file("second.avi"))) << twice.LastErrorText();
  test::RunCapped(twice);
  ASSERT_FALSE(twice.ExceptionRaised()) << twice.TerminateMessage();
  EXPECT_EQ(test::CountFrames(dir.file("second.avi"), "video"), 10);
}

TEST(InputStop, AStopRequestEndsAnEndlessProbe) {
  test::RequireLibraries();
  // Random bytes read as MPEG-TS never yield the streams the probe waits for.
  auto engine = std::make_shared<TCustomFFmpeg>();
  engine->Reset();
  engine->ApplyOption("f", "mpegts");
  auto done = std::make_shared<std::promise<bool>>();
  std::future<bool> added = done->get_future();
  std::thread opener([engine, done] { done->set_value(engine->AddInputFile("/dev/urandom")); });
  // The stream information is read under CodecLock: once the opener holds
  // it, the opening is well into the probe.
  bool probing = false;
  for (const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
       !probing && std::chrono::steady_clock::now() < deadline;) {
    probing = !std::unique_lock<TCodecLock>(CodecLock(), std::try_to_lock).owns_lock();
    if (!probing) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(probing) << "the opening never reached the probe";
  engine->RequestStop();
  if (added.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    // It reads on, holding what it holds (CodecLock while probing): the
    // process cannot go on cleanly.
    std::fprintf(stderr, "the stop request did not end the opening\n");
    std::_Exit(1);
  }
  opener.join();
  EXPECT_FALSE(added.get());
  EXPECT_EQ(engine->LastErrorText().rfind("/dev/urandom: ", 0), 0u) << engine->LastErrorText();
  EXPECT_EQ(engine->InputCount(), 0);
}

}  // namespace
}  // namespace fennick
