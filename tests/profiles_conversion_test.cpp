// End to end: every entry of the format list, with the settings it selects by
// default, converts a short generated clip (test pattern and tone) through
// the conversion component into a file that ffprobe reads, with a video
// stream unless the format is audio-only and an audio stream always.
#include <gtest/gtest.h>

#include <memory>

#include <algorithm>
#include <cstdio>
#include <condition_variable>
#include <mutex>
#include <string>

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
    clip.width = 320;
    clip.height = 240;
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
  TOutputOptions options;
  InitOutputOptions(options);
  ASSERT_NO_THROW(ApplyProfileToOptions(controls, options));
  options.AspectRatio = "1.3333";

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
    if (!options.FrameSize.empty()) {
      EXPECT_EQ(w + "x" + h, options.FrameSize);
    } else {
      EXPECT_EQ(w + "x" + h, "320x240");
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

std::string EntryName(const ::testing::TestParamInfo<std::string>& info) {
  return "Row" + std::to_string(LookupOutputFormat(info.param)->ProfileId);
}

INSTANTIATE_TEST_SUITE_P(EveryOfferedRow, ProfileConversion, ::testing::ValuesIn(OfferedOutputFormats()), EntryName);

}  // namespace
}  // namespace fennick
