// End to end: every entry of the format list, with the settings it selects by
// default, converts a short generated clip (test pattern and tone) through
// the conversion component into a file that ffprobe reads, with a video
// stream unless the format is audio-only and an audio stream always. The
// clip's odd size (321x241) is one many encoders cannot code: formats that
// keep the source size get it fitted by the job builder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "jobs/job_builder.h"
#include "component/FFmpegVCL.h"
#include "component/task_options.h"
#include "profiles/output_formats.h"
#include "profiles/profile_settings.h"
#include "profiles/profile_translation.h"
#include "test_support.h"

namespace fennick {
namespace {

class ProfileConversion : public ::testing::TestWithParam<std::string> {
 protected:
  static void SetUpTestSuite() {
    test::RequireLibraries();
    Folder = std::make_unique<test::TempDir>();
    test::ClipSpec clip;
    clip.seconds = 1.0;
    clip.width = 321;
    clip.height = 241;
    Source = Folder->file("sample clip.mp4");
    ASSERT_TRUE(test::MakeClip(Source, clip));
  }
  static void TearDownTestSuite() {
    Folder.reset();
  }
  static std::unique_ptr<test::TempDir> Folder;
  static std::string Source;
};
std::unique_ptr<test::TempDir> ProfileConversion::Folder;
std::string ProfileConversion::Source;

// What the formats of today promise for the sweep's clip (321x241 at 25
// frames a second, stereo at 44100 Hz), as ffprobe names it: the codecs (and
// the MP4 tag), the picture size, the sampling rate and channels, and for
// MP4 files the index ("moov") before the media data ("mdat").
struct TTodayPromise {
  const char* Name;
  const char* VideoCodec;  // "" for audio only
  const char* VideoTag;    // "" where not checked
  const char* Size;
  const char* AudioCodec;
  const char* SampleRate;
  const char* Channels;
  bool IndexFirst;
};
const TTodayPromise kTodayPromises[] = {
    {"MKV - Matroska Video (*.mkv)", "h264", "", "320x240", "aac", "44100", "2", false},
    {"MP4 - H.264 Video (*.mp4)", "h264", "avc1", "320x240", "aac", "44100", "2", true},
    {"MP4 - H.265 Video (*.mp4)", "hevc", "hvc1", "320x240", "aac", "44100", "2", true},
    {"WebM - VP9 Video (*.webm)", "vp9", "", "320x240", "opus", "48000", "2", false},
    {"WebM - AV1 Video (*.webm)", "av1", "", "320x240", "opus", "48000", "2", false},
    {"FLAC - Free Lossless Audio (*.flac)", "", "", "", "flac", "44100", "2", false},
    {"M4A - Apple Lossless (*.m4a)", "", "", "", "alac", "44100", "2", true},
    {"Opus Audio (*.opus)", "", "", "", "opus", "48000", "2", false},
    {"Android Phone (1080p) (*.mp4)", "h264", "avc1", "1920x1080", "aac", "48000", "2", true},
    {"Web Video 720p (*.mp4)", "h264", "avc1", "1280x720", "aac", "48000", "2", true},
    {"4K UHD H.265 (*.mkv)", "hevc", "", "3840x2160", "aac", "44100", "2", false},
};

// The names of the top-level boxes of an MP4 file, in file order, read from
// their 32-bit sizes (1: a 64-bit size follows; 0: to the end of the file).
std::vector<std::string> TopLevelBoxes(const std::string& path) {
  std::vector<std::string> names;
  std::ifstream in(path, std::ios::binary);
  in.seekg(0, std::ios::end);
  const uint64_t end = static_cast<uint64_t>(in.tellg());
  uint64_t at = 0;
  while (at + 8 <= end) {
    unsigned char header[16] = {};
    in.seekg(static_cast<std::streamoff>(at));
    if (!in.read(reinterpret_cast<char*>(header), 8)) break;
    uint64_t size = (uint64_t{header[0]} << 24) | (header[1] << 16) | (header[2] << 8) | header[3];
    names.emplace_back(reinterpret_cast<char*>(header + 4), 4);
    if (size == 1) {
      if (!in.read(reinterpret_cast<char*>(header + 8), 8)) break;
      size = 0;
      for (int i = 8; i < 16; ++i) size = size << 8 | header[i];
    } else if (size == 0) {
      size = end - at;
    }
    if (size < 8) break;
    at += size;
  }
  return names;
}

// Converts source into output with the job builder's record, through the
// component, and tells how the task ended.
test::TaskEnd ConvertOne(const std::string& source, const std::string& output, TOutputOptions& options) {
  TFFmpegVCL vcl;
  if (!vcl.LoadCodecLibraries("", true)) return {false, true, "libraries: " + vcl.LastError()};
  TInputOptions input;
  InitInputOptions(input);
  input.StartTime = 0;
  const int task = vcl.AddInputTask(source, &input);
  if (task < 0) return {false, true, "input: " + vcl.LastError()};
  if (!vcl.AddTaskOutput(task, output, &options)) return {false, true, "output: " + vcl.LastError()};
  return test::RunTasks(vcl);
}

TEST_P(ProfileConversion, DefaultsConvertAGeneratedClip) {
  TProfileControls controls;
  FillOutputFormatList(controls.ComboOutputFormat);
  ASSERT_TRUE(ChooseOutputFormat(controls, GetParam()));
  // The job builder's record for the list's row of the source.
  TOutputOptions options;
  ASSERT_NO_THROW(FillJobOutputOptions(options, controls, 256, "321x241", 321.0f / 241));

  std::string extension = controls.FOutputFormatName;
  std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
  const std::string output = Folder->file("row " + std::to_string(LookupOutputFormat(GetParam())->ProfileId) + "." +
                                          extension);

  const test::TaskEnd result = ConvertOne(Source, output, options);
  ASSERT_TRUE(result.Finished) << result.Message;
  EXPECT_FALSE(result.Exception) << result.Message;

  const auto probe = test::ProbeFile(output);
  ASSERT_FALSE(probe.empty()) << "ffprobe refuses " << output;
  const int audio = test::FindStream(probe, "audio");
  const int video = test::FindStream(probe, "video");
  EXPECT_GE(audio, 0) << "no audio stream";
  if (options.DisableVideo) {
    EXPECT_LT(video, 0) << "an audio-only format got video";
  } else {
    ASSERT_GE(video, 0) << "no video stream";
    const auto [w, h] = std::pair{test::StreamValue(probe, video, "width"), test::StreamValue(probe, video, "height")};
    EXPECT_EQ(w + "x" + h, options.FrameSize.empty() ? "321x241" : options.FrameSize);
    // Where the output records its pixel shape, the picture shows as the
    // source did, whatever size it was coded at.
    int sarNum = 0, sarDen = 0;
    if (std::sscanf(test::StreamValue(probe, video, "sample_aspect_ratio").c_str(), "%d:%d", &sarNum, &sarDen) == 2 &&
        sarNum > 0 && sarDen > 0) {
      EXPECT_NEAR(std::stod(w) * sarNum / sarDen / std::stod(h), 321.0 / 241, 0.01) << "display aspect";
    }
    // The one-second source becomes one second of pictures at the output
    // rate, within the frame-rate sync's window of 1.1 pictures.
    int num = 0, den = 1;
    ASSERT_EQ(std::sscanf(test::StreamValue(probe, video, "r_frame_rate").c_str(), "%d/%d", &num, &den), 2);
    const double fps = static_cast<double>(num) / den;
    EXPECT_NEAR(test::CountFrames(output, "video"), fps * 1.0, 1.1) << "pictures at " << fps << " fps";
  }
  // Audio keeps the source's length, give or take one encoder frame.
  const std::string audioDuration = test::StreamValue(probe, audio, "duration");
  if (!audioDuration.empty() && audioDuration != "N/A") {
    EXPECT_NEAR(std::stod(audioDuration), 1.0, 0.08) << "audio length of " << output;
  }
  const auto duration = probe.find("format.duration");
  if (duration != probe.end() && duration->second != "N/A") {
    EXPECT_NEAR(std::stod(duration->second), 1.0, 0.1) << "duration of " << output;
  }

  for (const TTodayPromise& promise : kTodayPromises) {
    if (GetParam() != promise.Name) continue;
    EXPECT_EQ(test::StreamValue(probe, audio, "codec_name"), promise.AudioCodec);
    EXPECT_EQ(test::StreamValue(probe, audio, "sample_rate"), promise.SampleRate);
    EXPECT_EQ(test::StreamValue(probe, audio, "channels"), promise.Channels);
    if (*promise.VideoCodec) {
      ASSERT_GE(video, 0);
      EXPECT_EQ(test::StreamValue(probe, video, "codec_name"), promise.VideoCodec);
      EXPECT_EQ(test::StreamValue(probe, video, "width") + "x" + test::StreamValue(probe, video, "height"),
                promise.Size);
      if (*promise.VideoTag) {
        EXPECT_EQ(test::StreamValue(probe, video, "codec_tag_string"), promise.VideoTag);
      }
    }
    if (promise.IndexFirst) {
      const std::vector<std::string> boxes = TopLevelBoxes(output);
      const auto moov = std::find(boxes.begin(), boxes.end(), "moov");
      const auto mdat = std::find(boxes.begin(), boxes.end(), "mdat");
      EXPECT_TRUE(moov != boxes.end() && mdat != boxes.end() && moov < mdat)
          << "top-level boxes: " << ::testing::PrintToString(boxes);
    }
  }
}

// The iPod rows used to pass no channel count: "Mono" gave the source's
// channels, six of them for a 5.1 source.
TEST(ProfileChoices, IpodWithMonoGivesOneChannel) {
  test::RequireLibraries();
  test::TempDir dir;
  test::ClipSpec clip;
  clip.width = 160;
  clip.height = 120;
  clip.channels = 6;
  const std::string source = dir.file("surround.mp4");
  ASSERT_TRUE(test::MakeClip(source, clip));
  TProfileControls controls;
  FillOutputFormatList(controls.ComboOutputFormat);
  ASSERT_TRUE(ChooseOutputFormat(controls, "iPod (*.mp4)"));
  ASSERT_TRUE(controls.ComboAudioChannels.SelectText("Mono"));
  TOutputOptions options;
  ASSERT_NO_THROW(FillJobOutputOptions(options, controls, 256, "160x120"));
  const std::string output = dir.file("surround-ipod.mp4");
  const test::TaskEnd result = ConvertOne(source, output, options);
  ASSERT_TRUE(result.Finished && !result.Exception) << result.Message;
  const auto probe = test::ProbeFile(output);
  EXPECT_EQ(test::StreamValue(probe, test::FindStream(probe, "audio"), "channels"), "1");
}

// RV20 codes sizes in steps of 4: an even source size that is not one
// (322x242) kept by "Original Video Size" is fitted to one it codes.
TEST(ProfileChoices, Rv20FitsAnOddSourceSizeToItsStep) {
  test::RequireLibraries();
  test::TempDir dir;
  test::ClipSpec clip;
  clip.seconds = 0.4;
  clip.width = 322;
  clip.height = 242;
  const std::string source = dir.file("odd.mp4");
  ASSERT_TRUE(test::MakeClip(source, clip));
  TProfileControls controls;
  FillOutputFormatList(controls.ComboOutputFormat);
  ASSERT_TRUE(ChooseOutputFormat(controls, "RM - Real Video (*.rm)"));
  ASSERT_TRUE(controls.ComboVideoCodec.SelectText("RV20"));
  ASSERT_TRUE(controls.ComboVideoSize.SelectText("Original Video Size"));
  TOutputOptions options;
  ASSERT_NO_THROW(FillJobOutputOptions(options, controls, 256, "322x242", 322.0f / 242));
  const std::string output = dir.file("odd.rm");
  const test::TaskEnd result = ConvertOne(source, output, options);
  ASSERT_TRUE(result.Finished && !result.Exception) << result.Message;
  const auto probe = test::ProbeFile(output);
  const int video = test::FindStream(probe, "video");
  ASSERT_GE(video, 0);
  EXPECT_EQ(test::StreamValue(probe, video, "codec_name"), "rv20");
  const int w = std::stoi(test::StreamValue(probe, video, "width"));
  const int h = std::stoi(test::StreamValue(probe, video, "height"));
  EXPECT_EQ(w % 4, 0) << w;
  EXPECT_EQ(h % 4, 0) << h;
  EXPECT_LE(std::abs(w - 322), 2) << w;
  EXPECT_LE(std::abs(h - 242), 2) << h;
}

// Sources in other pixel layouts, at a size the format keeps: their pictures
// reach the encoder converted to its layout, not as they were decoded. One
// picture of the output is compared with the source's.
struct TLayoutCase {
  const char* Layout;  // the source's
  const char* File;
  const char* Coding;  // ffmpeg options making the source
  const char* Format;  // the row converted to
  friend void PrintTo(const TLayoutCase& c, std::ostream* os) { *os << c.Layout; }
};

class ProfileSourceLayouts : public ::testing::TestWithParam<TLayoutCase> {};

TEST_P(ProfileSourceLayouts, ThePictureIsTheSources) {
  const TLayoutCase& c = GetParam();
  test::RequireLibraries();
  test::TempDir dir;
  const std::string source = dir.file(c.File);
  ASSERT_TRUE(test::MakeMedia(source, std::string("-f lavfi -i testsrc=size=320x240:rate=25:duration=0.4 ") + c.Coding));
  TProfileControls controls;
  FillOutputFormatList(controls.ComboOutputFormat);
  ASSERT_TRUE(ChooseOutputFormat(controls, c.Format));
  TOutputOptions options;
  ASSERT_NO_THROW(FillJobOutputOptions(options, controls, 256, "320x240", 4.0f / 3));
  ASSERT_EQ(options.FrameSize, "") << "the source's size is kept";
  std::string extension = controls.FOutputFormatName;
  std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
  const std::string output = dir.file("out." + extension);
  const test::TaskEnd result = ConvertOne(source, output, options);
  ASSERT_TRUE(result.Finished && !result.Exception) << result.Message;
  const size_t bytes = 320 * 240 * 3;
  const double snr = test::PictureSnr(test::DecodePicture(output, 0, "rgb24", bytes),
                                      test::DecodePicture(source, 0, "rgb24", bytes));
  EXPECT_GT(snr, 20.0) << "dB against the source";
}

INSTANTIATE_TEST_SUITE_P(
    Sources, ProfileSourceLayouts,
    ::testing::Values(TLayoutCase{"yuv444p", "full chroma.mkv", "-pix_fmt yuv444p -c:v ffv1", "MP4 - MPEG4 Video (*.mp4)"},
                      TLayoutCase{"yuvj422p", "mjpeg.avi", "-pix_fmt yuvj422p -c:v mjpeg", "AVI - XviD Video (*.avi)"},
                      TLayoutCase{"rgb24", "rgb.mkv", "-pix_fmt rgb24 -c:v png", "FLV - Flash Video (*.flv)"}),
    [](const auto& info) { return std::string(info.param.Layout); });

std::string EntryName(const ::testing::TestParamInfo<std::string>& info) {
  return "Row" + std::to_string(LookupOutputFormat(info.param)->ProfileId);
}

INSTANTIATE_TEST_SUITE_P(EveryOfferedRow, ProfileConversion, ::testing::ValuesIn(OfferedOutputFormats()), EntryName);

}  // namespace
}  // namespace fennick
