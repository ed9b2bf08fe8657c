// End to end: every entry of the format list, with the settings it selects by
// default, converts a short generated clip (test pattern and tone) through
// the conversion component into a file that ffprobe reads, with a video
// stream unless the format is audio-only and an audio stream always. The
// clip's odd size (321x241) is one many encoders cannot code: formats that
// keep the source size get it fitted by the job builder.
#include <gtest/gtest.h>

#include <memory>

#include <algorithm>
#include <cstdio>
#include <condition_variable>
#include <mutex>
#include <string>

#include "app/job_builder.h"
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

// Runs one task to its end and reports its terminate values.
struct TTaskResult {
  bool Finished = false, Exception = false;
  std::string Message;
};

TTaskResult ConvertOne(TFFmpegVCL& vcl, const std::string& source, const std::string& output,
                       TOutputOptions& options) {
  std::mutex lock;
  std::condition_variable done;
  TTaskResult result;
  bool allDone = false;
  vcl.OnTerminate = [&](int index, bool finished, bool exception, const std::string& message) {
    std::lock_guard<std::mutex> guard(lock);
    if (index >= 0) {
      result.Finished = finished;
      result.Exception = exception;
      result.Message = message;
    } else {
      allDone = true;
      done.notify_all();
    }
  };
  TInputOptions input;
  InitInputOptions(input);
  input.StartTime = 0;
  const int task = vcl.AddInputTask(source, &input);
  if (task < 0) return {false, true, "input: " + vcl.LastError()};
  if (!vcl.AddTaskOutput(task, output, &options)) return {false, true, "output: " + vcl.LastError()};
  vcl.StartTasks(1);
  std::unique_lock<std::mutex> guard(lock);
  done.wait(guard, [&] { return allDone; });
  return result;
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

  TFFmpegVCL vcl;
  ASSERT_TRUE(vcl.LoadCodecLibraries("", true)) << vcl.LastError();
  const TTaskResult result = ConvertOne(vcl, Source, output, options);
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
  TFFmpegVCL vcl;
  ASSERT_TRUE(vcl.LoadCodecLibraries("", true)) << vcl.LastError();
  const std::string output = dir.file("surround-ipod.mp4");
  const TTaskResult result = ConvertOne(vcl, source, output, options);
  ASSERT_TRUE(result.Finished && !result.Exception) << result.Message;
  const auto probe = test::ProbeFile(output);
  EXPECT_EQ(test::StreamValue(probe, test::FindStream(probe, "audio"), "channels"), "1");
}

std::string EntryName(const ::testing::TestParamInfo<std::string>& info) {
  return "Row" + std::to_string(LookupOutputFormat(info.param)->ProfileId);
}

INSTANTIATE_TEST_SUITE_P(EveryOfferedRow, ProfileConversion, ::testing::ValuesIn(OfferedOutputFormats()), EntryName);

}  // namespace
}  // namespace fennick
