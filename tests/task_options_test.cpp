#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "component/task_options.h"
#include "component/task_options_apply.h"
#include "tests/test_support.h"
#include "tests/transcode_support.h"

namespace fennick {
namespace {

// ---- the parsing steps

using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(TaskOptions, ExtOptionsLinesAreSplitAtEveryKindOfLineBreakAndAtTheFirstEquals) {
  struct Case {
    const char* text;
    Pairs expected;
  } cases[] = {
      {"a=1\r\nb=2\rc=3\nd=4", {{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "4"}}},
      {"  vcodec=mpeg4  \r\n", {{"vcodec", "mpeg4"}}},
      {"x = y", {{"x ", " y"}}},                       // neither part trimmed
      {"map=0.0:0.0=x", {{"map", "0.0:0.0=x"}}},       // first "=" only
      {"y\nvn", {{"y", ""}, {"vn", ""}}},              // no "=": empty value
      {"=v", {{"", "v"}}},
      {"a=1\r\n\r\n\nb=2", {{"a", "1"}, {"b", "2"}}},  // blank lines carry nothing
      {"a=\n", {{"a", ""}}},
      {"", {}},
      {" \r\n\t ", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitExtOptions(c.text), c.expected) << c.text;
}

TEST(TaskOptions, HookTimeRangesAreConvertedToMicrosecondsFilteredAndSortedByEnd) {
  auto ranges = ParseHookTimeRanges("  5000-9000 , 1000-2000 ");
  ASSERT_EQ(ranges.size(), 2u);
  EXPECT_EQ(ranges[0].Start, 1000000);
  EXPECT_EQ(ranges[0].End, 2000000);
  EXPECT_EQ(ranges[1].Start, 5000000);
  EXPECT_EQ(ranges[1].End, 9000000);

  ranges = ParseHookTimeRanges("20-10,5000,300-abc,,7-7,-40");
  ASSERT_EQ(ranges.size(), 2u);
  // "-40": the start is empty, so invalid (-1 ms), and the end 40 ms is kept.
  EXPECT_EQ(ranges[0].Start, 7000);
  EXPECT_EQ(ranges[0].End, 7000);
  EXPECT_EQ(ranges[1].Start, -1000);
  EXPECT_EQ(ranges[1].End, 40000);

  EXPECT_TRUE(ParseHookTimeRanges("").empty());
  EXPECT_TRUE(ParseHookTimeRanges("1-99999999999999999999").empty());  // end too large for µs
}

TEST(TaskOptions, TimestampConversionUsesTheBiasInMinutes) {
  // 2009-02-13 23:31:30 UTC is 1234567890 s; as a day count 39857.98020833...
  const double utc = 25569.0 + 1234567890.0 / 86400.0;
  EXPECT_EQ(TimestampToUnixSeconds(utc, 0), 1234567890);
  // Local time two hours ahead of UTC: bias -120.
  EXPECT_EQ(TimestampToUnixSeconds(utc + 2.0 / 24.0, -120), 1234567890);
  // Local time five hours behind: bias 300.
  EXPECT_EQ(TimestampToUnixSeconds(utc - 5.0 / 24.0, 300), 1234567890);
  EXPECT_EQ(TimestampToUnixSeconds(25569.5, 0), 43200);
  EXPECT_GT(TimestampToUnixSeconds(1e300, 0), 0);  // held at the range end, no overflow
}

// ---- applying records to an engine

class TaskOptionsEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RequireLibraries();
    engine.Reset();
    InitOutputOptions(out);
    InitInputOptions(in);
  }
  TCustomFFmpeg engine;
  TOutputOptions out;
  TInputOptions in;
};

TEST_F(TaskOptionsEngine, InputRecordFillsTheFileNameAndSetsStartAndProgram) {
  EXPECT_EQ(ApplyInputOptions(engine, in, "/tmp/in.avi"), "/tmp/in.avi");
  EXPECT_EQ(in.FileName, "");
  EXPECT_EQ(engine.Settings().StartTime, 0);  // StartTime -1
  EXPECT_EQ(engine.Settings().OptProgramId, 0);

  in.FileName = "/tmp/own.avi";
  in.StartTime = 0;  // as the application passes it
  EXPECT_EQ(ApplyInputOptions(engine, in, "/tmp/in.avi"), "/tmp/own.avi");
  EXPECT_EQ(engine.Settings().StartTime, 0);

  in.StartTime = 1500;
  in.ProgramID = 3;
  ApplyInputOptions(engine, in, "x");
  EXPECT_EQ(engine.Settings().StartTime, 1500000);
  EXPECT_EQ(engine.Settings().OptProgramId, 3);
}

TEST_F(TaskOptionsEngine, InputRecordWithUnknownFormatFails) {
  in.FileFormat = "no-such-demuxer";
  try {
    ApplyInputOptions(engine, in, "x");
    FAIL() << "no exception";
  } catch (const FFMpegException& e) {
    EXPECT_STREQ(e.what(), "Unknown input format: no-such-demuxer");
  }
}

TEST_F(TaskOptionsEngine, InputRecordAppliesExtOptionsBeforeItsFields) {
  in.ExtOptions = "ss=2\nprogramid=5";
  in.ProgramID = 9;
  ApplyInputOptions(engine, in, "x");
  EXPECT_EQ(engine.Settings().StartTime, 2000000);  // StartTime -1 leaves "ss"
  EXPECT_EQ(engine.Settings().OptProgramId, 9);     // the field wins
}

TEST_F(TaskOptionsEngine, FreshOutputRecordChangesOnlyPadColourLanguagesSyncAndCopyTs) {
  auto& s = engine.MutableSettings();
  s.AudioLanguage = "eng";
  s.SubtitleLanguage = "fre";
  s.AudioSyncMethod = 5;
  s.VideoSyncMethod = 2;
  s.CopyTs = true;
  const TEngineSettings d{};

  const auto result = ApplyOutputOptions(engine, out, "/tmp/out.avi");
  EXPECT_EQ(result.FileName, "/tmp/out.avi");
  EXPECT_EQ(result.Hook, THookChoice::None);

  const auto& a = engine.Settings();
  EXPECT_EQ(a.PadColorY, 0);
  EXPECT_EQ(a.PadColorCb, 128);
  EXPECT_EQ(a.PadColorCr, 128);
  EXPECT_EQ(a.AudioLanguage, "");
  EXPECT_EQ(a.SubtitleLanguage, "");
  EXPECT_EQ(a.AudioSyncMethod, 0);
  EXPECT_EQ(a.VideoSyncMethod, -1);
  EXPECT_FALSE(a.CopyTs);
  // Everything else stays at the engine's defaults.
  EXPECT_EQ(a.OutputFormat, d.OutputFormat);
  EXPECT_EQ(a.VideoCodecName, d.VideoCodecName);
  EXPECT_EQ(a.AudioCodecName, d.AudioCodecName);
  EXPECT_EQ(a.FrameWidth, d.FrameWidth);
  EXPECT_EQ(a.FrameHeight, d.FrameHeight);
  EXPECT_EQ(a.FrameRate.num, d.FrameRate.num);
  EXPECT_EQ(a.AspectRatio, d.AspectRatio);
  EXPECT_EQ(a.AudioSampleRate, d.AudioSampleRate);
  EXPECT_EQ(a.AudioChannels, d.AudioChannels);
  EXPECT_EQ(a.AudioVolume, d.AudioVolume);
  EXPECT_EQ(a.AudioDisable, d.AudioDisable);
  EXPECT_EQ(a.VideoDisable, d.VideoDisable);
  EXPECT_EQ(a.SubtitleDisable, d.SubtitleDisable);
  EXPECT_EQ(a.CropTop + a.CropBottom + a.CropLeft + a.CropRight, 0);
  EXPECT_EQ(a.PadTop + a.PadBottom + a.PadLeft + a.PadRight, 0);
  EXPECT_EQ(a.AudioCodecTag, 0u);
  EXPECT_EQ(a.VideoCodecTag, 0u);
  EXPECT_EQ(a.RecordingTime, d.RecordingTime);
  EXPECT_EQ(a.RecordingTimestamp, d.RecordingTimestamp);
  EXPECT_EQ(a.MuxMaxDelay, d.MuxMaxDelay);
  EXPECT_EQ(a.MuxPreload, d.MuxPreload);
  EXPECT_EQ(a.Year, d.Year);
  EXPECT_EQ(a.Track, d.Track);
  EXPECT_EQ(a.Title + a.Author + a.Copyright + a.Comment + a.Album + a.Genre, "");
  EXPECT_TRUE(engine.GenericOptionNames().empty());
  EXPECT_TRUE(engine.HookTimeRanges().empty());
  EXPECT_EQ(engine.OutputCount(), 0);
}

TEST_F(TaskOptionsEngine, RecordFieldsWinOverTheSameOptionInExtOptions) {
  out.ExtOptions = "vcodec=mpeg4\r\nalang=eng\r\nar=22050\r\nno_such_option=1";
  out.VideoCodec = "libx264";
  ApplyOutputOptions(engine, out, "o.avi");
  EXPECT_EQ(engine.Settings().VideoCodecName, "libx264");
  EXPECT_EQ(engine.Settings().AudioLanguage, "");  // AudioLanguage is applied even when empty
  EXPECT_EQ(engine.Settings().AudioSampleRate, 22050);  // AudioSampleRate -1 leaves it
}

TEST_F(TaskOptionsEngine, SetFieldsReachTheirSettings) {
  out.FileFormat = "avi";
  out.AudioCodec = "copy";
  out.AudioVolume = 512;
  out.AudioChannels = 1;
  out.AudioSampleRate = 22050;
  out.AudioBitrate = 96000;
  out.AudioSync = 1;
  out.AudioTag = "abcd";
  out.FrameRate = "25";
  out.FrameSize = "640x480";
  out.AspectRatio = "4:3";
  out.CropTop = 8;
  out.PadLeft = 16;
  out.PadColor = 0x0000FF;
  out.VideoBitrate = 800000;
  out.VideoSync = 0;
  out.CopyTimestamps = true;
  out.MuxDelay = 0.25f;
  out.Duration = 1500;
  out.Year = 2009;
  out.Track = 4;
  SetFixedText(out.Title, "A title");
  SetFixedText(out.Genre, "Rock");
  ApplyOutputOptions(engine, out, "o.avi");
  const auto& s = engine.Settings();
  ASSERT_NE(s.OutputFormat, nullptr);
  EXPECT_STREQ(s.OutputFormat->name, "avi");
  EXPECT_TRUE(s.AudioStreamCopy);
  EXPECT_EQ(s.AudioVolume, 512);
  EXPECT_EQ(s.AudioChannels, 1);
  EXPECT_EQ(s.AudioSampleRate, 22050);
  int64_t bitRate = 0;
  AVL.av_opt_get_int(engine.CodecOptionContext(msAudio), "b", 0, &bitRate);
  EXPECT_EQ(bitRate, 96000);
  AVL.av_opt_get_int(engine.CodecOptionContext(msVideo), "b", 0, &bitRate);
  EXPECT_EQ(bitRate, 800000);
  EXPECT_EQ(s.AudioSyncMethod, 1);
  EXPECT_EQ(s.AudioCodecTag, static_cast<uint32_t>('a' | 'b' << 8 | 'c' << 16 | 'd' << 24));
  EXPECT_EQ(s.FrameRate.num, 25);
  EXPECT_EQ(s.FrameRate.den, 1);
  EXPECT_EQ(s.FrameWidth, 640);
  EXPECT_EQ(s.FrameHeight, 472);
  EXPECT_EQ(s.CropTop, 8);
  EXPECT_EQ(s.PadLeft, 16);
  EXPECT_EQ(s.PadColorY, 76);
  EXPECT_EQ(s.PadColorCb, 85);
  EXPECT_EQ(s.PadColorCr, 255);
  EXPECT_FLOAT_EQ(s.AspectRatio, 4.0f / 3.0f);
  EXPECT_EQ(s.VideoSyncMethod, 0);
  EXPECT_TRUE(s.CopyTs);
  EXPECT_FLOAT_EQ(s.MuxMaxDelay, 0.25f);
  EXPECT_EQ(s.RecordingTime, 1500000);
  EXPECT_EQ(engine.TotalOutputDuration(), 1500);
  EXPECT_EQ(s.Year, 2009);
  EXPECT_EQ(s.Track, 4);
  EXPECT_EQ(s.Title, "A title");
  EXPECT_EQ(s.Genre, "Rock");
}

TEST_F(TaskOptionsEngine, CropWithoutFrameSizeFailsWithTheVerticalMessage) {
  out.CropTop = 0;
  try {
    ApplyOutputOptions(engine, out, "o.avi");
    FAIL() << "no exception";
  } catch (const FFMpegException& e) {
    EXPECT_STREQ(e.what(),
                 "Vertical crop dimensions are outside the range of the original image.\n"
                 "Remember to crop first and scale second.");
  }
}

TEST_F(TaskOptionsEngine, HandlerRefusalsPropagate) {
  out.VideoTag = "abc";
  EXPECT_THROW(ApplyOutputOptions(engine, out, "o.avi"), FFMpegException);
  InitOutputOptions(out);
  out.FileFormat = "no-such-muxer";
  try {
    ApplyOutputOptions(engine, out, "o.avi");
    FAIL() << "no exception";
  } catch (const FFMpegException& e) {
    EXPECT_STREQ(e.what(), "Unknown output format: no-such-muxer");
  }
}

TEST_F(TaskOptionsEngine, MalformedNumberInExtOptionsIsAConversionError) {
  out.ExtOptions = "ac=1\nvol=abc";
  EXPECT_THROW(ApplyOutputOptions(engine, out, "o.avi"), EConvertError);
  EXPECT_EQ(engine.Settings().AudioChannels, 1);  // the lines before the bad one are applied
  InitInputOptions(in);
  in.ExtOptions = "programid=x1";
  EXPECT_THROW(ApplyInputOptions(engine, in, "i.avi"), EConvertError);
}

// Runs a block with TZ set, restoring the previous zone afterwards.
template <typename F>
void WithTimeZone(const char* tz, F&& body) {
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  setenv("TZ", tz, 1);
  tzset();
  body();
  if (old)
    setenv("TZ", saved.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

TEST_F(TaskOptionsEngine, TimestampZeroIsNowNegativeIsUnsetPositiveIsThatLocalTime) {
  out.Timestamp = -1.0;
  ApplyOutputOptions(engine, out, "o.avi");
  EXPECT_EQ(engine.Settings().RecordingTimestamp, 0);

  out.Timestamp = 0;
  const int64_t before = std::time(nullptr);
  ApplyOutputOptions(engine, out, "o.avi");
  const int64_t after = std::time(nullptr);
  EXPECT_GE(engine.Settings().RecordingTimestamp, before);
  EXPECT_LE(engine.Settings().RecordingTimestamp, after + 1);

  WithTimeZone("XYZ-2", [&] {  // two hours ahead of UTC, no daylight saving
    EXPECT_EQ(CurrentTimeZoneBias(), -120);
    out.Timestamp = 25569.0 + (1234567890.0 + 7200.0) / 86400.0;  // local 2009-02-14 01:31:30
    ApplyOutputOptions(engine, out, "o.avi");
    EXPECT_EQ(engine.Settings().RecordingTimestamp, 1234567890);
  });
}

TEST_F(TaskOptionsEngine, HookChoiceAndTimeRanges) {
  out.HookTimeRanges = "  5000-9000 , 1000-2000 ,20-10, 300";
  auto result = ApplyOutputOptions(engine, out, "o.avi");
  EXPECT_EQ(result.Hook, THookChoice::None);
  ASSERT_EQ(engine.HookTimeRanges().size(), 2u);
  EXPECT_EQ(engine.HookTimeRanges()[0].Start, 1000000);
  EXPECT_EQ(engine.HookTimeRanges()[1].End, 9000000);

  TCustomFFmpeg custom;
  custom.Reset();
  out.CustomHook = out.BeforeHook = true;
  result = ApplyOutputOptions(custom, out, "o.avi");
  EXPECT_EQ(result.Hook, THookChoice::Custom);
  EXPECT_TRUE(custom.HookTimeRanges().empty());

  TCustomFFmpeg before;
  before.Reset();
  out.CustomHook = false;
  result = ApplyOutputOptions(before, out, "o.avi");
  EXPECT_EQ(result.Hook, THookChoice::Before);
  EXPECT_TRUE(before.HookTimeRanges().empty());
}

TEST_F(TaskOptionsEngine, GopSizeAndMuxRateReachTheEncoderAndTheMuxer) {
  test::TempDir dir;
  test::ClipSpec spec;
  spec.width = 160;
  spec.height = 120;
  spec.audio = false;
  const std::string input = dir.file("in.mp4"), output = dir.file("out.mpg");
  ASSERT_TRUE(test::MakeClip(input, spec));
  out.VideoCodec = "mpeg1video";
  out.GopSize = 5;
  out.MuxRate = 1411200;
  ASSERT_TRUE(engine.AddInputFile(ApplyInputOptions(engine, in, input)));
  ASSERT_TRUE(engine.AddOutputFile(ApplyOutputOptions(engine, out, output).FileName)) << engine.LastErrorText();
  test::RunCapped(engine);
  ASSERT_FALSE(engine.ExceptionRaised()) << engine.TerminateMessage();

  // 25 pictures in groups of 5: key pictures 0, 5, 10, 15, 20.
  const auto keys = test::RunCommand("ffprobe -v error -select_streams v -show_entries frame=key_frame -of csv=p=0 " +
                                     test::ShellQuote(output) + " | grep -c 1");
  EXPECT_EQ(std::atoi(keys.output.c_str()), 5);
  // The first pack header's mux rate, in units of 50 bytes/s.
  std::FILE* f = std::fopen(output.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  unsigned char pack[12] = {};
  const size_t got = std::fread(pack, 1, sizeof pack, f);
  std::fclose(f);
  ASSERT_EQ(got, sizeof pack);
  ASSERT_EQ(pack[3], 0xBA) << "a pack header first";
  EXPECT_EQ((pack[9] & 0x7F) << 15 | pack[10] << 7 | pack[11] >> 1, 1411200 / 400);
}

TEST_F(TaskOptionsEngine, TargetPresetOverridesTheFieldsAndNeedsAFrameRateForAuto) {
  out.Target = 1;  // vcd, norm auto
  try {
    ApplyOutputOptions(engine, out, "o.mpg");
    FAIL() << "no exception";
  } catch (const FFMpegException& e) {
    EXPECT_STREQ(e.what(), "frame_rate is invalid.");
  }

  TCustomFFmpeg pal;
  pal.Reset();
  out.NormType = 1;  // pal
  out.FrameSize = "640x480";
  ApplyOutputOptions(pal, out, "o.mpg");
  EXPECT_EQ(pal.Settings().FrameWidth, 352);
  EXPECT_EQ(pal.Settings().FrameHeight, 288);
  EXPECT_EQ(pal.Settings().VideoCodecName, "mpeg1video");
}

}  // namespace
}  // namespace fennick
