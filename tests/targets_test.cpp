#include <gtest/gtest.h>

#include <vector>

#include "engine/FFmpeg.h"
#include "tests/test_support.h"

namespace fennick {
namespace {

class Targets : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RequireLibraries();
    engine.Reset();
    engine.OnLog = [this](TCustomFFmpeg&, int level, const std::string& text) {
      notes.push_back(std::to_string(level) + " " + text);
    };
  }
  const char* MuxerOption(int file, const char* key) {
    const AVDictionaryEntry* e = AVL.av_dict_get(engine.OutputFile(file).MuxerOptions.get(), key, nullptr, 0);
    return e ? e->value : "<none>";
  }
  TCustomFFmpeg engine;
  test::TempDir dir;
  std::vector<std::string> notes;
};

TEST_F(Targets, DvdPalSetsThePresetAndTheOutputUsesIt) {
  engine.ApplyTarget("dvd", "pal", "ntsc");
  const auto& s = engine.Settings();
  EXPECT_EQ(s.FrameWidth, 720);
  EXPECT_EQ(s.FrameHeight, 576);
  EXPECT_EQ(av_cmp_q(s.FrameRate, AVRational{25, 1}), 0);
  EXPECT_EQ(s.VideoCodecName, "mpeg2video");
  EXPECT_EQ(s.AudioCodecName, "ac3");
  ASSERT_NE(s.OutputFormat, nullptr);
  EXPECT_STREQ(s.OutputFormat->name, "dvd");
  EXPECT_EQ(s.AudioSampleRate, 48000);
  EXPECT_EQ(s.AudioChannels, 2);
  EXPECT_NEAR(s.AspectRatio, 16.0 / 9.0, 1e-6);
  EXPECT_TRUE(notes.empty());  // an explicit norm assumes nothing

  ASSERT_TRUE(engine.AddOutputFile(dir.file("disc title.vob"))) << engine.LastErrorText();
  const auto& file = engine.OutputFile(0);
  ASSERT_EQ(file.Streams.size(), 2u);
  const AVCodecContext* v = file.Streams[0].Codec.get();
  const AVCodecContext* a = file.Streams[1].Codec.get();
  EXPECT_STREQ(file.Streams[0].Encoder->name, "mpeg2video");
  EXPECT_EQ(v->width, 720);
  EXPECT_EQ(v->height, 576);
  EXPECT_EQ(av_cmp_q(v->time_base, AVRational{1, 25}), 0);
  EXPECT_EQ(v->gop_size, 15);
  EXPECT_EQ(v->bit_rate, 6000000);
  EXPECT_EQ(v->rc_max_rate, 9000000);
  EXPECT_EQ(v->rc_buffer_size, 1835008);
  EXPECT_EQ(v->rc_initial_buffer_occupancy, 1835008 * 3 / 4);
  EXPECT_EQ(v->sample_aspect_ratio.num, 64);  // 16:9 on 720x576
  EXPECT_EQ(v->sample_aspect_ratio.den, 45);
  EXPECT_STREQ(file.Streams[1].Encoder->name, "ac3");
  EXPECT_EQ(a->bit_rate, 448000);
  EXPECT_EQ(a->sample_rate, 48000);
  EXPECT_EQ(a->ch_layout.nb_channels, 2);
  EXPECT_EQ(file.Context->packet_size, 2048u);
  EXPECT_STREQ(MuxerOption(0, "muxrate"), "10080000");
  EXPECT_STREQ(MuxerOption(0, "preload"), "500000");
}

TEST_F(Targets, SvcdNtscScanOffsetAndVcdPreload) {
  engine.MutableSettings().AudioChannels = 1;
  engine.ApplyTarget("svcd", "ntsc", "pal");
  EXPECT_EQ(engine.Settings().AudioChannels, 2);
  EXPECT_EQ(engine.Settings().FrameWidth, 480);
  EXPECT_EQ(engine.Settings().FrameHeight, 480);
  EXPECT_EQ(av_cmp_q(engine.Settings().FrameRate, AVRational{30000, 1001}), 0);
  ASSERT_TRUE(engine.AddOutputFile(dir.file("super.mpg"))) << engine.LastErrorText();
  const AVCodecContext* v = engine.OutputFile(0).Streams.at(0).Codec.get();
  EXPECT_EQ(v->gop_size, 18);
  int64_t scanOffset = 0;
  ASSERT_GE(AVL.av_opt_get_int(const_cast<AVCodecContext*>(v), "scan_offset", AV_OPT_SEARCH_CHILDREN, &scanOffset), 0);
  EXPECT_EQ(scanOffset, 1);
  EXPECT_STREQ(MuxerOption(0, "muxrate"), "<none>");

  engine.ApplyTarget("vcd", "film", "pal");
  EXPECT_EQ(av_cmp_q(engine.Settings().FrameRate, AVRational{24000, 1001}), 0);
  EXPECT_EQ(engine.Settings().FrameWidth, 352);
  EXPECT_EQ(engine.Settings().FrameHeight, 240);
  ASSERT_TRUE(engine.AddOutputFile(dir.file("video cd.mpg"))) << engine.LastErrorText();
  EXPECT_STREQ(MuxerOption(1, "preload"), "440000");
  EXPECT_STREQ(MuxerOption(1, "muxrate"), "1411200");
  EXPECT_EQ(engine.OutputFile(1).Streams.at(0).Codec->rc_min_rate, 1150000);
}

TEST_F(Targets, AutomaticNormFollowsTheFrameRate) {
  EXPECT_THROW(
      {
        try {
          engine.ApplyTarget("vcd", "auto", "pal");
        } catch (const FFMpegException& e) {
          EXPECT_STREQ(e.what(), "frame_rate is invalid.");
          throw;
        }
      },
      FFMpegException);

  const struct {
    AVRational rate;
    const char* assumed;
    int height;
    AVRational expectRate;
    const char* note;
  } cases[] = {
      {{25, 1}, "ntsc", 288, {25, 1}, "1 Assuming PAL for target."},
      {{30000, 1001}, "pal", 240, {30000, 1001}, "1 Assuming NTSC for target."},
      {{24000, 1001}, "pal", 240, {30000, 1001}, "1 Assuming NTSC for target."},
      {{15, 1}, "ntsc", 240, {30000, 1001}, "1 Assuming NTSC for target."},
      {{15, 1}, "film", 240, {24000, 1001}, "1 Assuming NTSC for target."},
      {{15, 1}, "pal", 288, {25, 1}, "1 Assuming PAL for target."},
  };
  for (const auto& c : cases) {
    notes.clear();
    engine.MutableSettings().FrameRate = c.rate;
    engine.ApplyTarget("vcd", "auto", c.assumed);
    EXPECT_EQ(engine.Settings().FrameHeight, c.height) << c.rate.num << " " << c.assumed;
    EXPECT_EQ(av_cmp_q(engine.Settings().FrameRate, c.expectRate), 0) << c.rate.num << " " << c.assumed;
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0], c.note);
  }

  notes.clear();
  engine.SetVerbosity(0);
  engine.MutableSettings().FrameRate = AVRational{25, 1};
  engine.ApplyTarget("vcd", "", "pal");
  EXPECT_TRUE(notes.empty());
}

TEST_F(Targets, AnInputsVideoRateDecidesWhenTheSettingDoesNot) {
  test::ClipSpec spec;
  spec.width = 64;
  spec.height = 48;
  spec.seconds = 0.2;
  spec.audio = false;
  spec.frameRate = "30000/1001";
  const std::string clip = dir.file("ntsc clip.avi");
  ASSERT_TRUE(test::MakeClip(clip, spec));
  ASSERT_TRUE(engine.AddInputFile(clip)) << engine.LastErrorText();
  engine.MutableSettings().FrameRate = AVRational{12, 1};
  engine.ApplyTarget("dvd", "auto", "pal");
  EXPECT_EQ(engine.Settings().FrameHeight, 480);
  EXPECT_EQ(av_cmp_q(engine.Settings().FrameRate, AVRational{30000, 1001}), 0);
}

TEST_F(Targets, DvPresetsAndUnknownTypes) {
  const struct {
    const char* type;
    const char* norm;
    int height;
    AVPixelFormat pixFmt;
  } cases[] = {
      {"dv", "pal", 576, AV_PIX_FMT_YUV420P},
      {"dv", "ntsc", 480, AV_PIX_FMT_YUV411P},
      {"dv50", "pal", 576, AV_PIX_FMT_YUV422P},
      {"dv50", "film", 480, AV_PIX_FMT_YUV422P},
  };
  for (const auto& c : cases) {
    engine.MutableSettings().VideoCodecName = "keep";
    engine.ApplyTarget(c.type, c.norm, "pal");
    const auto& s = engine.Settings();
    EXPECT_EQ(s.FrameWidth, 720);
    EXPECT_EQ(s.FrameHeight, c.height) << c.type << " " << c.norm;
    EXPECT_EQ(s.PixelFormat, c.pixFmt) << c.type << " " << c.norm;
    EXPECT_STREQ(s.OutputFormat->name, "dv");
    EXPECT_EQ(s.AudioSampleRate, 48000);
    EXPECT_EQ(s.AudioChannels, 2);
    EXPECT_EQ(s.VideoCodecName, "keep");
  }
  try {
    engine.ApplyTarget("bluray", "pal", "pal");
    FAIL() << "no exception";
  } catch (const FFMpegException& e) {
    EXPECT_STREQ(e.what(), "Unknown target type");
  }
}

}  // namespace
}  // namespace fennick
