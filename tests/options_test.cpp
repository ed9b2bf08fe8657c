#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "engine/FFmpeg.h"
#include "tests/test_support.h"

namespace fennick {
namespace {

struct TLogLine {
  int Level;
  std::string Text;
};

class Options : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RequireLibraries();
    engine.Reset();
    engine.OnLog = [this](TCustomFFmpeg&, int level, const std::string& text) { logs.push_back({level, text}); };
  }
  void TearDown() override {
    // The debug rule changes the process-wide library log level.
    if (LibrariesLoaded()) AVL.av_log_set_level(AV_LOG_ERROR);
  }

  void Apply(const std::vector<std::pair<std::string, std::string>>& options) {
    for (const auto& [name, value] : options) engine.ApplyOption(name, value);
  }

  // Message of the exception of type E that `name`=`value` raises, or a
  // marker text when it raises nothing or something else.
  template <typename E = FFMpegException>
  std::string Refusal(const std::string& name, const std::string& value) {
    try {
      engine.ApplyOption(name, value);
    } catch (const E& e) {
      return e.what();
    } catch (const std::exception& e) {
      return std::string("<other exception> ") + e.what();
    }
    return "<accepted>";
  }

  int CountLogs(const std::string& text) const {
    int n = 0;
    for (const auto& l : logs) n += l.Text == text;
    return n;
  }

  // Everything a handler may write, as text, to see that a refusal left it.
  std::string Snapshot() const {
    const TEngineSettings& s = engine.Settings();
    std::ostringstream o;
    o << s.FrameWidth << 'x' << s.FrameHeight << ' ' << s.AspectRatio << ' ' << s.PixelFormat << ' ' << s.PadTop
      << s.PadBottom << s.PadLeft << s.PadRight << ' ' << s.PadColorY << ',' << s.PadColorCb << ',' << s.PadColorCr
      << ' ' << s.CropTop << s.CropBottom << s.CropLeft << s.CropRight << ' ' << s.FrameRate.num << '/'
      << s.FrameRate.den << ' ' << s.VideoQScale << ' ' << s.IntraMatrix.size() << s.InterMatrix.size() << ' '
      << s.VideoCodecTag << ' ' << s.AudioCodecTag << ' ' << s.DoPass << ' ' << s.RecordingTime << ' '
      << s.StartTime << ' ' << s.InputTsOffset << ' ' << s.RecordingTimestamp << ' ' << s.InputFormat << ' '
      << s.OutputFormat << ' ' << s.Verbose << ' ' << s.MaxFrames[0] << ' ' << s.AudioVolume << ' '
      << s.AudioQScale << ' ' << s.LimitFileSize << ' ' << engine.StreamMaps().size() << ' '
      << engine.MetaDataMaps().size() << ' ' << engine.TotalOutputDuration() << ' ' << engine.HookModuleCount()
      << ' ' << engine.UsingVHook() << ' ' << engine.GenericOptionNames().size();
    for (double scale : s.InputTsScale) o << ' ' << scale;
    return o.str();
  }

  TCustomFFmpeg engine;
  std::vector<TLogLine> logs;
};

std::string Matrix(int count, int first = 8) {
  std::string text;
  for (int i = 0; i < count; ++i) text += (i ? "," : "") + std::to_string(first + i);
  return text;
}

// ---- every refusal message, and that a refused option changes nothing

struct TRefusal {
  std::vector<std::pair<std::string, std::string>> Before;
  std::string Name, Value, Message;
};

TEST_F(Options, EveryRefusalHasItsMessageAndChangesNothing) {
  const std::string vertical =
      "Vertical crop dimensions are outside the range of the original image.\nRemember to crop first and scale second.";
  const std::string horizontal =
      "Horizontal crop dimensions are outside the range of the original image.\nRemember to crop first and scale "
      "second.";
  const std::vector<TRefusal> cases = {
      {{}, "threads", "2", "TODO: option - threads"},
      {{}, "absf", "aac_adtstoasc", "TODO: option - absf"},
      {{}, "vbsf", "x", "TODO: option - vbsf"},
      {{}, "sbsf", "", "TODO: option - sbsf"},
      {{}, "f", "nosuchformat", "Unknown input or output format: nosuchformat"},
      {{}, "t", "abc", "Invalid duration for t: abc"},
      {{}, "ss", "1:xx", "Invalid duration for ss: 1:xx"},
      {{}, "itsoffset", "later", "Invalid duration for itsoffset: later"},
      {{}, "timestamp", "notadate", "Invalid date for timestamp: notadate"},
      {{}, "itsscale", "25:1.0", "stream index over MAX_STREAMS(20)"},
      {{}, "itsscale", "20:1.0", "stream index over MAX_STREAMS(20)"},
      {{}, "r", "abc", "Incorrect frame rate"},
      {{}, "r", "-25", "Incorrect frame rate"},
      {{}, "s", "abc", "Incorrect frame size"},
      {{}, "s", "101x100", "Frame size must be a multiple of 2"},
      {{}, "s", "100x75", "Frame size must be a multiple of 2"},
      {{}, "aspect", "4:0", "Incorrect aspect ratio."},
      {{}, "aspect", "abc", "Incorrect aspect ratio."},
      {{}, "aspect", "x:3", "Incorrect aspect ratio."},
      {{}, "aspect", "-4:3", "Incorrect aspect ratio."},
      {{}, "pix_fmt", "nosuchfmt", "Unknown pixel format requested: nosuchfmt"},
      {{{"s", "640x480"}}, "croptop", "3", "Top crop size must be a multiple of 2"},
      {{{"s", "640x480"}}, "cropbottom", "5", "Bottom crop size must be a multiple of 2"},
      {{{"s", "640x480"}}, "cropleft", "7", "Left crop size must be a multiple of 2"},
      {{{"s", "640x480"}}, "cropright", "9", "Right crop size must be a multiple of 2"},
      {{{"s", "640x480"}}, "croptop", "480", vertical},
      {{{"s", "640x480"}, {"croptop", "8"}}, "cropbottom", "472", vertical},
      {{{"s", "640x480"}}, "cropright", "640", horizontal},
      {{}, "croptop", "0", vertical},
      {{}, "cropleft", "0", horizontal},
      {{}, "padtop", "3", "Top pad size must be a multiple of 2"},
      {{}, "padbottom", "1", "Bottom pad size must be a multiple of 2"},
      {{}, "padleft", "11", "Left pad size must be a multiple of 2"},
      {{}, "padright", "13", "Right pad size must be a multiple of 2"},
      {{}, "qscale", "0", "qscale must be > 0.0 and <= 255"},
      {{}, "qscale", "255.5", "qscale must be > 0.0 and <= 255"},
      {{}, "qscale", "-3", "qscale must be > 0.0 and <= 255"},
      {{}, "vtag", "XVI", "video tag parameter must be 4 chars"},
      {{}, "atag", "mp4aa", "audio tag parameter must be 4 chars"},
      {{}, "atag", "", "audio tag parameter must be 4 chars"},
      {{}, "pass", "3", "pass number can be only 1 or 2"},
      {{}, "pass", "0", "pass number can be only 1 or 2"},
      {{}, "vhook", "/no/such/folder/hook.so -x 1", "Failed to add video hook function: /no/such/folder/hook.so -x 1"},
      {{}, "vhook", "", "Failed to add video hook function: "},
      {{}, "vhook", "libm.so.6", "Failed to add video hook function: libm.so.6"},
      {{}, "intra_matrix", Matrix(63), "Syntax error in matrix \"" + Matrix(63) + "\" at coeff 62"},
      {{}, "inter_matrix", "16", "Syntax error in matrix \"16\" at coeff 0"},
      {{}, "inter_matrix", "16,x," + Matrix(62), "Syntax error in matrix \"16,x," + Matrix(62) + "\" at coeff 1"},
      {{}, "intra_matrix", "0," + Matrix(63), "Syntax error in matrix \"0," + Matrix(63) + "\" at coeff 0"},
      {{}, "newvideo", "", "At least one output file must be specified"},
      {{}, "newaudio", "", "At least one output file must be specified"},
      {{}, "newsubtitle", "", "At least one output file must be specified"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name + "=" + c.Value);
    engine.Reset();
    Apply(c.Before);
    const std::string before = Snapshot();
    EXPECT_EQ(Refusal(c.Name, c.Value), c.Message);
    EXPECT_EQ(Snapshot(), before);
  }
}

TEST_F(Options, HostileNumbersAreRefusedBeforeTheyReachArithmetic) {
  const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
      {"ac", "2147483647", "Too many audio channels: 2147483647 (at most 64)"},
      {"padtop", "2147483646", "Top pad size must be at most 65536"},
      {"padright", "65538", "Right pad size must be at most 65536"},
      {"s", "2147483646x2", "Incorrect frame size"},
      {"dc", "-2147483648", "dc must be between 0 and 24"},
      {"dc", "2147483647", "dc must be between 0 and 24"},
  };
  for (const auto& [name, value, message] : cases) {
    SCOPED_TRACE(name + "=" + value);
    const std::string before = Snapshot();
    EXPECT_EQ(Refusal(name, value), message);
    EXPECT_EQ(Snapshot(), before);
  }
}

TEST_F(Options, MalformedNumbersRaiseConversionErrors) {
  const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
      {"vol", "abc", "'abc' is not a valid integer value"},
      {"vframes", "12x", "'12x' is not a valid integer value"},
      {"async", "", "'' is not a valid integer value"},
      {"top", "99999999999", "'99999999999' is not a valid integer value"},
      {"fs", "1e3", "'1e3' is not a valid integer value"},
      {"ar", "44.1k", "'44.1k' is not a valid integer value"},
      {"croptop", "eight", "'eight' is not a valid integer value"},
      {"padleft", "2.0", "'2.0' is not a valid integer value"},
      {"padcolor", "0xZZ", "'0xZZ' is not a valid integer value"},
      {"pass", "one", "'one' is not a valid integer value"},
      {"v", "loud", "'loud' is not a valid integer value"},
      {"aq", "x", "'x' is not a valid floating point value"},
      {"muxdelay", "nan", "'nan' is not a valid floating point value"},
      {"adrift_threshold", "0.1s", "'0.1s' is not a valid floating point value"},
      {"qscale", "", "'' is not a valid floating point value"},
      {"itsscale", "1:fast", "'fast' is not a valid floating point value"},
      {"itsscale", "x:1", "'x:1' is not a valid integer value"},
      {"map", "a.b", "'a.b' is not a valid stream map"},
      {"map", "0", "'0' is not a valid stream map"},
      {"map", "0.1:0", "'0.1:0' is not a valid stream map"},
      {"map", "0.1x", "'0.1x' is not a valid stream map"},
      {"map_meta_data", "0", "'0' is not a valid metadata map"},
      {"b", "fast", "'fast' is not a valid bit rate"},
      {"vb", "", "'' is not a valid bit rate"},
  };
  for (const auto& [name, value, message] : cases) {
    SCOPED_TRACE(name + "=" + value);
    const std::string before = Snapshot();
    EXPECT_EQ(Refusal<EConvertError>(name, value), message);
    EXPECT_EQ(Snapshot(), before);
  }
}

// ---- notes and silently ignored names

TEST_F(Options, IgnoredOptionsOnlyNote) {
  const std::string before = Snapshot();
  for (const char* name : {"L", "h", "version", "formats", "i", "y", "benchmark", "apre", "vpre", "spre"}) {
    logs.clear();
    engine.ApplyOption(name, "whatever");
    ASSERT_EQ(logs.size(), 1u) << name;
    EXPECT_EQ(logs[0].Level, 1);
    EXPECT_EQ(logs[0].Text, std::string("Do nothing: option - ") + name);
  }
  EXPECT_EQ(Snapshot(), before);
  engine.OnLog = nullptr;
  EXPECT_NO_THROW(engine.ApplyOption("y", ""));
}

TEST_F(Options, UnknownNamesAreDroppedSilently) {
  const std::string before = Snapshot();
  EXPECT_NO_THROW(engine.ApplyOption("nosuchoption", "1"));
  EXPECT_NO_THROW(engine.ApplyOption("Y", ""));  // names are case-sensitive
  EXPECT_NO_THROW(engine.ApplyOption("-vcodec", "mpeg4"));
  EXPECT_TRUE(logs.empty());
  EXPECT_EQ(Snapshot(), before);
  EXPECT_TRUE(engine.Settings().VideoCodecName.empty());
}

// ---- values that are accepted

TEST_F(Options, AspectRatios) {
  const std::vector<std::pair<std::string, float>> cases = {
      {"16:9", 1.7777778f}, {"4:3", 4.0f / 3.0f}, {"1.5", 1.5f}, {"2.35", 2.35f}, {"1:1", 1.0f}, {"5", 5.0f}};
  for (const auto& [value, ratio] : cases) {
    SCOPED_TRACE(value);
    engine.ApplyOption("aspect", value);
    EXPECT_FLOAT_EQ(engine.Settings().AspectRatio, ratio);
  }
}

TEST_F(Options, FrameSizesAndRates) {
  const std::vector<std::tuple<std::string, int, int>> sizes = {
      {"640x480", 640, 480}, {"pal", 720, 576}, {"ntsc", 720, 480}, {"hd720", 1280, 720}, {"qcif", 176, 144}};
  for (const auto& [value, w, h] : sizes) {
    engine.ApplyOption("s", value);
    EXPECT_EQ(engine.Settings().FrameWidth, w) << value;
    EXPECT_EQ(engine.Settings().FrameHeight, h) << value;
  }
  const std::vector<std::tuple<std::string, int, int>> rates = {
      {"25", 25, 1}, {"pal", 25, 1}, {"ntsc", 30000, 1001}, {"30000/1001", 30000, 1001}, {"film", 24, 1}};
  for (const auto& [value, num, den] : rates) {
    engine.ApplyOption("r", value);
    EXPECT_EQ(engine.Settings().FrameRate.num, num) << value;
    EXPECT_EQ(engine.Settings().FrameRate.den, den) << value;
  }
}

TEST_F(Options, CropAndPadAgainstTheCurrentFrameSize) {
  Apply({{"s", "640x480"}, {"croptop", "8"}});
  EXPECT_EQ(engine.Settings().FrameHeight, 472);
  EXPECT_EQ(engine.Settings().CropTop, 8);
  EXPECT_NE(Refusal("croptop", "480"), "<accepted>");
  Apply({{"cropbottom", "2"}, {"cropleft", "10"}, {"cropright", "20"}, {"croptop", "-4"}});
  EXPECT_EQ(engine.Settings().FrameHeight, 470);
  EXPECT_EQ(engine.Settings().FrameWidth, 610);
  EXPECT_EQ(engine.Settings().CropTop, 8);  // negative ignored
  EXPECT_EQ(engine.Settings().CropBottom, 2);
  EXPECT_EQ(engine.Settings().CropLeft, 10);
  EXPECT_EQ(engine.Settings().CropRight, 20);
  Apply({{"padtop", "16"}, {"padbottom", "0"}, {"padleft", "-1"}, {"padright", "32"}});
  EXPECT_EQ(engine.Settings().PadTop, 16);
  EXPECT_EQ(engine.Settings().PadBottom, 0);
  EXPECT_EQ(engine.Settings().PadLeft, 0);
  EXPECT_EQ(engine.Settings().PadRight, 32);
}

TEST_F(Options, QuantMatrices) {
  engine.ApplyOption("intra_matrix", Matrix(64));
  ASSERT_EQ(engine.Settings().IntraMatrix.size(), 64u);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(engine.Settings().IntraMatrix[i], 8 + i);
  engine.ApplyOption("inter_matrix", Matrix(66, 100));  // extra coefficients are not read
  ASSERT_EQ(engine.Settings().InterMatrix.size(), 64u);
  EXPECT_EQ(engine.Settings().InterMatrix[63], 163);
  EXPECT_EQ(Refusal("intra_matrix", Matrix(63)), "Syntax error in matrix \"" + Matrix(63) + "\" at coeff 62");
  EXPECT_EQ(engine.Settings().IntraMatrix[0], 8);
}

TEST_F(Options, StreamAndMetadataMaps) {
  const std::vector<std::pair<std::string, TStreamMap>> cases = {
      {"0.1", {0, 1, 0, 1}},         {"0:1:0.0", {0, 1, 0, 0}}, {"1-2/3#4", {1, 2, 3, 4}},
      {"0x1.0x2", {1, 2, 1, 2}},     {"010.1", {8, 1, 8, 1}},   {"2.0xA:0x0.07", {2, 10, 0, 7}},
  };
  for (const auto& [value, expected] : cases) {
    engine.ApplyOption("map", value);
    const TStreamMap& m = engine.StreamMaps().back();
    EXPECT_EQ(m.FileIndex, expected.FileIndex) << value;
    EXPECT_EQ(m.StreamIndex, expected.StreamIndex) << value;
    EXPECT_EQ(m.SyncFileIndex, expected.SyncFileIndex) << value;
    EXPECT_EQ(m.SyncStreamIndex, expected.SyncStreamIndex) << value;
  }
  while (engine.StreamMaps().size() < static_cast<size_t>(kMaxStreamMaps)) engine.ApplyOption("map", "0.0");
  EXPECT_EQ(Refusal("map", "0.0"), "Too many stream maps: at most 20 are allowed");
  EXPECT_EQ(engine.StreamMaps().size(), 20u);

  engine.ApplyOption("map_meta_data", "1:0x2");
  EXPECT_EQ(engine.MetaDataMaps().back().OutputFile, 1);
  EXPECT_EQ(engine.MetaDataMaps().back().InputFile, 2);
  while (engine.MetaDataMaps().size() < static_cast<size_t>(kMaxMetaDataMaps))
    engine.ApplyOption("map_meta_data", "0:0");
  EXPECT_EQ(Refusal("map_meta_data", "0:0"), "Too many metadata maps: at most 20 are allowed");
  EXPECT_EQ(engine.MetaDataMaps().size(), 20u);
}

TEST_F(Options, InputTimestampScales) {
  engine.ApplyOption("itsscale", "1:2.5");
  engine.ApplyOption("itsscale", "0x13/0.5");
  EXPECT_EQ(engine.Settings().InputTsScale[1], 2.5);
  EXPECT_EQ(engine.Settings().InputTsScale[19], 0.5);
  EXPECT_EQ(Refusal("itsscale", "25:1"), "stream index over MAX_STREAMS(20)");
  EXPECT_EQ(Refusal("itsscale", "-1:1"), "stream index must not be negative: -1:1");
}

TEST_F(Options, TimesAndDates) {
  engine.ApplyOption("t", "00:01:02.5");
  EXPECT_EQ(engine.Settings().RecordingTime, 62500000);
  EXPECT_EQ(engine.TotalOutputDuration(), 62500);
  engine.ApplyOption("t", "0.0009");  // under a millisecond: nothing set
  EXPECT_EQ(engine.Settings().RecordingTime, 62500000);
  engine.ApplyOption("t", "1.2345");  // whole milliseconds
  EXPECT_EQ(engine.Settings().RecordingTime, 1234000);
  engine.ApplyOption("ss", "1.5");
  EXPECT_EQ(engine.Settings().StartTime, 1500000);
  engine.ApplyOption("itsoffset", "-2");
  EXPECT_EQ(engine.Settings().InputTsOffset, -2000000);
  engine.ApplyOption("timestamp", "1970-01-02 00:00:10.6Z");
  EXPECT_EQ(engine.Settings().RecordingTimestamp, 86411);
}

TEST_F(Options, SimpleKindsWriteTheirSettings) {
  Apply({{"dump", ""},        {"hex", ""},         {"re", ""},         {"loop_input", ""}, {"copyts", ""},
         {"shortest", ""},    {"intra", ""},       {"vn", ""},         {"sameq", ""},      {"deinterlace", ""},
         {"psnr", ""},        {"qphist", ""},      {"an", ""},         {"sn", ""},         {"isync", ""},
         {"dframes", "7"},    {"vframes", "100"},  {"aframes", "50"},  {"loop_output", "3"}, {"vsync", "2"},
         {"async", "1"},      {"vdt", "4"},        {"dc", "10"},       {"vglobal", "1"},   {"programid", "5"},
         {"me_threshold", "6"}, {"top", "1"},     {"vc", "3"},        {"vol", "512"},     {"ar", "22050"},
         {"ac", "1"},         {"fs", "10000000000"}, {"adrift_threshold", "0.25"}, {"aq", "4"},
         {"muxdelay", "0.9"}, {"muxpreload", "0.2"}, {"dts_delta_threshold", "3e1"}, {"passlogfile", "/tmp/x"},
         {"alang", "eng"},    {"slang", "fre"},    {"title", "T"},     {"author", "A"},    {"copyright", "C"},
         {"comment", "K"},    {"genre", "G"},      {"album", "B"},     {"title", ""},      {"rc_override", "0,10,2"},
         {"tvstd", "PAL"},    {"vstats_file", "/tmp/stats.log"}, {"vcodec", "mpeg4"}, {"acodec", "copy"},
         {"scodec", "mov_text"}, {"vtag", "XVID"}, {"atag", "mp4a"}, {"pass", "2"}, {"pix_fmt", "yuv422p"},
         {"qscale", "3.5"},   {"v", "0"},          {"padcolor", "0xFFFFFF"}, {"ar", "0"}, {"ac", "-1"}});
  const TEngineSettings& s = engine.Settings();
  for (bool on : {s.DoPktDump, s.DoHexDump, s.RateEmu, s.LoopInput, s.CopyTs, s.OptShortest, s.IntraOnly,
                  s.VideoDisable, s.SameQuality, s.DoDeinterlace, s.DoPsnr, s.QpHist, s.AudioDisable,
                  s.SubtitleDisable, s.InputSync, s.AudioStreamCopy})
    EXPECT_TRUE(on);
  EXPECT_FALSE(s.VideoStreamCopy);
  EXPECT_EQ(s.MaxFrames[0], 100);
  EXPECT_EQ(s.MaxFrames[1], 50);
  EXPECT_EQ(s.MaxFrames[2], 7);
  EXPECT_EQ(s.LoopOutput, 3);
  EXPECT_EQ(s.VideoSyncMethod, 2);
  EXPECT_EQ(s.AudioSyncMethod, 1);
  EXPECT_EQ(s.VideoDiscard, 4);
  EXPECT_EQ(s.IntraDcPrecision, 10);
  EXPECT_EQ(s.VideoGlobalHeader, 1);
  EXPECT_EQ(s.OptProgramId, 5);
  EXPECT_EQ(s.MeThreshold, 6);
  EXPECT_EQ(s.TopFieldFirst, 1);
  EXPECT_EQ(s.VideoChannel, 3);
  EXPECT_EQ(s.AudioVolume, 512);
  EXPECT_EQ(s.AudioSampleRate, 22050);  // 0 ignored
  EXPECT_EQ(s.AudioChannels, 1);        // -1 ignored
  EXPECT_EQ(s.LimitFileSize, 10000000000LL);
  EXPECT_FLOAT_EQ(s.AudioDriftThreshold, 0.25f);
  EXPECT_FLOAT_EQ(s.AudioQScale, 4.0f);
  EXPECT_FLOAT_EQ(s.MuxMaxDelay, 0.9f);
  EXPECT_FLOAT_EQ(s.MuxPreload, 0.2f);
  EXPECT_FLOAT_EQ(s.DtsDeltaThreshold, 30.0f);
  EXPECT_EQ(s.PassLogFileName, "/tmp/x");
  EXPECT_EQ(s.AudioLanguage, "eng");
  EXPECT_EQ(s.SubtitleLanguage, "fre");
  EXPECT_EQ(s.Title, "T");  // an empty value keeps it
  EXPECT_EQ(s.Author + s.Copyright + s.Comment + s.Genre + s.Album, "ACKGB");
  EXPECT_EQ(s.RcOverride, "0,10,2");
  EXPECT_EQ(s.VideoStandard, "PAL");
  EXPECT_EQ(s.VStatsFileName, "/tmp/stats.log");
  EXPECT_EQ(s.VideoCodecName, "mpeg4");
  EXPECT_EQ(s.AudioCodecName, "");
  EXPECT_EQ(s.SubtitleCodecName, "mov_text");
  EXPECT_EQ(s.VideoCodecTag, MKTAG('X', 'V', 'I', 'D'));
  EXPECT_EQ(s.AudioCodecTag, MKTAG('m', 'p', '4', 'a'));
  EXPECT_EQ(s.DoPass, 2);
  EXPECT_EQ(s.PixelFormat, AV_PIX_FMT_YUV422P);
  EXPECT_FLOAT_EQ(s.VideoQScale, 3.5f);
  EXPECT_EQ(s.Verbose, 0);
  EXPECT_EQ(s.PadColorY, 255);

  engine.ApplyOption("vcodec", "copy");
  EXPECT_TRUE(engine.Settings().VideoStreamCopy);
  EXPECT_EQ(engine.Settings().VideoCodecName, "");
}

TEST_F(Options, PadColours) {
  EXPECT_EQ(engine.Settings().PadColorY, 16);  // engine default without a colour
  struct TCase {
    std::string Value;
    int Y, Cb, Cr;
  };
  const std::vector<TCase> cases = {
      {"0", 0, 128, 128},          // black
      {"0xFFFFFF", 255, 128, 128}, // white
      {"0x0000FF", 76, 85, 255},   // pure red (lowest byte)
      {"255", 76, 85, 255},        // the same, decimal
      {"$00FF00", 150, 43, 21},    // pure green
      {"0xFF0000", 29, 255, 107},  // pure blue
  };
  for (const auto& c : cases) {
    engine.ApplyOption("padcolor", c.Value);
    EXPECT_EQ(engine.Settings().PadColorY, c.Y) << c.Value;
    EXPECT_EQ(engine.Settings().PadColorCb, c.Cb) << c.Value;
    EXPECT_EQ(engine.Settings().PadColorCr, c.Cr) << c.Value;
  }
  engine.SetPadColor(0x000000);
  EXPECT_EQ(engine.Settings().PadColorY, 0);
  EXPECT_EQ(engine.Settings().PadColorCb, 128);
}

// ---- the generic setter

TEST_F(Options, GenericSetterSlotsAndPrefixes) {
  AVCodecContext* video = engine.CodecOptionContext(msVideo);
  AVCodecContext* audio = engine.CodecOptionContext(msAudio);
  const int64_t audioDefault = audio->bit_rate;
  engine.ApplyOption("vb", "300000");
  EXPECT_EQ(video->bit_rate, 300000);
  EXPECT_EQ(audio->bit_rate, audioDefault);
  engine.ApplyOption("abt", "12345");
  EXPECT_EQ(audio->bit_rate_tolerance, 12345);
  EXPECT_NE(video->bit_rate_tolerance, 12345);
  engine.ApplyOption("ab", "96000");
  EXPECT_EQ(audio->bit_rate, 96000);
  EXPECT_EQ(video->bit_rate, 300000);
  // "b" is the video bit rate, although the codec table flags it for audio too.
  engine.ApplyOption("b", "500000");
  EXPECT_EQ(video->bit_rate, 500000);
  EXPECT_EQ(audio->bit_rate, 96000);
  // A video-only option reaches the video context, not the audio one.
  const int audioGop = audio->gop_size;
  engine.ApplyOption("g", "25");
  EXPECT_EQ(video->gop_size, 25);
  EXPECT_EQ(audio->gop_size, audioGop);
  engine.ApplyOption("packetsize", " 1000 ");
  EXPECT_EQ(engine.FormatOptionContext()->packet_size, 1000u);
  engine.ApplyOption("sws_flags", "bilinear");
  int64_t flags = 0;
  AVL.av_opt_get_int(engine.ScalerOptionContext(), "sws_flags", 0, &flags);
  EXPECT_EQ(flags, SWS_BILINEAR);

  std::vector<std::string> names;
  for (const AVOption* o : engine.GenericOptionNames()) names.push_back(o->name);
  // "ab" is an audio option of the codec table itself; "vb" and "abt" are not.
  EXPECT_EQ(names, (std::vector<std::string>{"b", "bt", "ab", "b", "g", "packetsize", "sws_flags"}));

  EXPECT_FALSE(engine.SetGenericOption("g", "  "));
  EXPECT_FALSE(engine.SetGenericOption(" ", "1"));
  EXPECT_FALSE(engine.SetGenericOption("nosuchoption", "1"));
  EXPECT_FALSE(engine.SetGenericOption("g", "many"));
  EXPECT_EQ(engine.GenericOptionNames().size(), 7u);
  EXPECT_EQ(video->gop_size, 25);
}

TEST_F(Options, LowBitRateWarns) {
  const std::string warning =
      "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s";
  engine.ApplyOption("b", "64");
  EXPECT_EQ(engine.CodecOptionContext(msVideo)->bit_rate, 64);
  EXPECT_EQ(CountLogs(warning), 1);
  engine.ApplyOption("vb", "64000");
  engine.ApplyOption("ab", "128000");
  EXPECT_EQ(CountLogs(warning), 1);
  engine.ApplyOption("ab", "96");
  EXPECT_EQ(CountLogs(warning), 2);
}

TEST_F(Options, DebugOptionsRaiseVerbosity) {
  int hookLevel = -100;
  engine.OnVerbosityChanged = [&](TCustomFFmpeg&, int level) { hookLevel = level; };
  engine.ApplyOption("g", "10");
  EXPECT_EQ(engine.Settings().Verbose, 1);
  engine.ApplyOption("debug", "pict");
  EXPECT_EQ(engine.Settings().Verbose, 2);
  EXPECT_EQ(hookLevel, 2);
  EXPECT_EQ(AVL.av_log_get_level(), LibraryLogLevel(2));  // engine level 2 is the libraries' debug level

  engine.Reset();
  hookLevel = -100;
  engine.ApplyOption("fdebug", "ts");
  EXPECT_NE(engine.FormatOptionContext()->debug, 0);
  EXPECT_EQ(engine.Settings().Verbose, 2);
  EXPECT_EQ(hookLevel, 2);
}

// ---- formats

TEST_F(Options, FormatsAndThePgmYuvRule) {
  engine.ApplyOption("f", "pgmyuv");
  EXPECT_EQ(CountLogs("pgmyuv format is deprecated, use image2"), 1);
  EXPECT_EQ(logs.size(), 1u);
  ASSERT_NE(engine.Settings().InputFormat, nullptr);
  ASSERT_NE(engine.Settings().OutputFormat, nullptr);
  EXPECT_STREQ(engine.Settings().InputFormat->name, "image2");
  EXPECT_STREQ(engine.Settings().OutputFormat->name, "image2");
  EXPECT_TRUE(engine.Settings().ImageFormatCompat);

  engine.ApplyOption("f", "mp4");
  EXPECT_STREQ(engine.Settings().OutputFormat->name, "mp4");
  ASSERT_NE(engine.Settings().InputFormat, nullptr);  // the mov/mp4 demuxer
  engine.ApplyOption("f", "image2pipe");
  engine.ApplyOption("f", "ipod");  // output only
  EXPECT_EQ(engine.Settings().InputFormat, nullptr);
  EXPECT_STREQ(engine.Settings().OutputFormat->name, "ipod");

  engine.Reset();
  logs.clear();
  engine.SetInputFormat("pgmyuv");
  EXPECT_STREQ(engine.Settings().InputFormat->name, "image2");
  EXPECT_EQ(engine.Settings().OutputFormat, nullptr);
  EXPECT_EQ(CountLogs("pgmyuv format is deprecated, use image2"), 1);
  engine.SetOutputFormat("avi");
  EXPECT_STREQ(engine.Settings().OutputFormat->name, "avi");
  EXPECT_STREQ(engine.Settings().InputFormat->name, "image2");

  const auto message = [](const std::function<void()>& f) -> std::string {
    try {
      f();
    } catch (const FFMpegException& e) {
      return e.what();
    }
    return "<accepted>";
  };
  EXPECT_EQ(message([&] { engine.SetInputFormat("ipod"); }), "Unknown input format: ipod");
  EXPECT_EQ(message([&] { engine.SetOutputFormat("nosuch"); }), "Unknown output format: nosuch");
  EXPECT_STREQ(engine.Settings().InputFormat->name, "image2");
}

TEST_F(Options, PixelFormatList) {
  engine.ApplyOption("pix_fmt", "list");
  ASSERT_EQ(logs.size(), 41u);
  EXPECT_EQ(logs[0].Text.rfind("name", 0), 0u) << logs[0].Text;
  EXPECT_EQ(logs[1].Text.rfind("yuv420p", 0), 0u) << logs[1].Text;
  for (const auto& l : logs) {
    EXPECT_EQ(l.Level, 1);
    ASSERT_FALSE(l.Text.empty());
    EXPECT_NE(l.Text.back(), ' ');
  }
  EXPECT_EQ(engine.Settings().PixelFormat, -1);
}

TEST_F(Options, VideoStatisticsFileName) {
  engine.ApplyOption("vstats", "");
  const std::string name = engine.Settings().VStatsFileName;
  const std::string folder = std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
  ASSERT_EQ(name.size(), folder.size() + std::string("/vstats_hhnnss.log").size()) << name;
  EXPECT_EQ(name.substr(0, folder.size() + 8), folder + "/vstats_");
  EXPECT_EQ(name.substr(name.size() - 4), ".log");
  for (size_t i = folder.size() + 8; i < name.size() - 4; ++i) EXPECT_TRUE(std::isdigit(name[i])) << name;
}

// ---- frame-hook modules

class HookModules : public Options {
 protected:
  void SetUp() override {
    Options::SetUp();
    const std::string source = dir.file("hook.c");
    std::ofstream(source) << R"(
#include <stdint.h>
#include <string.h>
int LastArgc = 0;
char LastArgs[256];
int Released = 0;
int Configure(void **ctx, int argc, char *argv[]) {
  LastArgc = argc;
  LastArgs[0] = 0;
  for (int i = 1; i < argc; ++i) { strcat(LastArgs, "["); strcat(LastArgs, argv[i]); strcat(LastArgs, "]"); }
  *ctx = &LastArgc;
  return argc > 1 && strcmp(argv[1], "fail") == 0;
}
void Process(void *ctx, void *pict, int fmt, int w, int h, int64_t pts) {}
void Release(void *ctx) { ++Released; }
)";
    std::ofstream(dir.file("noprocess.c")) << "int Released = 0;\n"
                                              "int Configure(void **c, int n, char **v) { return 0; }\n"
                                              "void Release(void *c) { ++Released; }\n";
    std::filesystem::create_directories(dir.path() / "mods");
    module = (dir.path() / "mods" / "hook.so").string();
    const auto build = test::RunCommand("cc -shared -fPIC -o " + test::ShellQuote(module) + " " +
                                        test::ShellQuote(source) + " && cc -shared -fPIC -o " +
                                        test::ShellQuote(dir.file("mods/noprocess.so")) + " " +
                                        test::ShellQuote(dir.file("noprocess.c")));
    if (build.exitCode != 0) GTEST_SKIP() << "no C compiler to build a test module: " << build.output;
  }
  template <typename T>
  T* Symbol(const char* name, const std::string& library = {}) {
    void* handle = dlopen((library.empty() ? module : library).c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle) return nullptr;
    T* p = static_cast<T*>(dlsym(handle, name));
    dlclose(handle);
    return p;
  }
  test::TempDir dir;
  std::string module;
};

TEST_F(HookModules, LoadsConfiguresAndReleases) {
  const auto cwd = std::filesystem::current_path();
  engine.ApplyOption("vhook", module + " -a  b");
  EXPECT_EQ(engine.HookModuleCount(), 1u);
  EXPECT_TRUE(engine.UsingVHook());
  EXPECT_EQ(std::filesystem::current_path(), cwd);
  const std::string path = std::getenv("PATH");
  EXPECT_NE(path.find(":" + (dir.path() / "mods").string()), std::string::npos);
  ASSERT_NE(Symbol<int>("LastArgc"), nullptr);
  EXPECT_EQ(*Symbol<int>("LastArgc"), 3);
  EXPECT_STREQ(Symbol<char>("LastArgs"), "[-a][b]");

  // "|" separates words when present, so blanks stay inside them.
  engine.ApplyOption("vhook", module + "|text with blanks||x");
  EXPECT_STREQ(Symbol<char>("LastArgs"), "[text with blanks][x]");
  EXPECT_EQ(engine.HookModuleCount(), 2u);
  EXPECT_EQ(std::getenv("PATH"), path);  // already on the path: not added twice

  const int released = *Symbol<int>("Released");
  engine.SetHookTimeRanges({{0, 1000}});
  ASSERT_TRUE(engine.SetHookPixelFormat(AV_PIX_FMT_BGRA));
  engine.Reset();
  EXPECT_EQ(engine.HookModuleCount(), 0u);
  EXPECT_EQ(*Symbol<int>("Released"), released + 2);
  // The rest of the hook state goes with the modules.
  EXPECT_FALSE(engine.UsingVHook());
  EXPECT_TRUE(engine.HookTimeRanges().empty());
  EXPECT_EQ(engine.HookPixelFormat(), AV_PIX_FMT_BGR24);
}

TEST_F(HookModules, RefusedModulesAddNothing) {
  EXPECT_EQ(Refusal("vhook", module + " fail"), "Failed to add video hook function: " + module + " fail");
  EXPECT_EQ(Refusal("vhook", dir.file("mods/noprocess.so")),
            "Failed to add video hook function: " + dir.file("mods/noprocess.so"));
  // Never configured, so never released.
  ASSERT_NE(Symbol<int>("Released", dir.file("mods/noprocess.so")), nullptr);
  EXPECT_EQ(*Symbol<int>("Released", dir.file("mods/noprocess.so")), 0);
  EXPECT_EQ(engine.HookModuleCount(), 0u);
  EXPECT_FALSE(engine.UsingVHook());
}

TEST_F(HookModules, BareNameIsFoundInTheCurrentFolder) {
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.path() / "mods");
  std::string result = Refusal("vhook", "hook.so");
  std::filesystem::current_path(cwd);
  EXPECT_EQ(result, "<accepted>");
  EXPECT_EQ(engine.HookModuleCount(), 1u);
}

}  // namespace
}  // namespace fennick
