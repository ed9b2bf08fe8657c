// The job builder and the list's row texts: output naming, the aspect rule,
// the volume steps, the records of a job, and the probe-derived texts.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/job_builder.h"
#include "app/row_texts.h"
#include "profiles/output_formats.h"
#include "test_support.h"

namespace fennick {
namespace {

void Touch(const std::string& path) { std::ofstream(path) << "x"; }

TEST(OutputNaming, InsertsTheFirstFreeNumberBeforeTheExtensionAndTakesIt) {
  test::TempDir dir;
  Touch(dir.file("clip.mp4"));
  Touch(dir.file("clip-1.mp4"));
  EXPECT_EQ(MakeUniqueOutputName(dir.file("clip.avi"), ".mp4"), dir.file("clip-2.mp4"));
  // The chosen name is taken at once (an empty file), so the next job gets
  // the next number.
  EXPECT_TRUE(std::filesystem::exists(dir.file("clip-2.mp4")));
  EXPECT_EQ(JobOutputPath("/media/clip.avi", dir.path().string(), "MP4", false), dir.file("clip-3.mp4"));
  // Overwriting keeps the plain name even though it exists.
  EXPECT_EQ(JobOutputPath("/media/clip.avi", dir.path().string(), "MP4", true), dir.file("clip.mp4"));
  // A free name is used as it is.
  EXPECT_EQ(MakeUniqueOutputName(dir.file("other.avi"), ".mp4"), dir.file("other.mp4"));
}

TEST(OutputNaming, ReplacesOnlyTheLastExtensionOfTheFileName) {
  test::TempDir dir;
  const std::string folder = dir.path().string();
  EXPECT_EQ(JobOutputPath("/m/holiday.2008.mov", folder, "MP4", false), dir.file("holiday.2008.mp4"));
  EXPECT_EQ(JobOutputPath("/m/noextension", folder, "AVI", false), dir.file("noextension.avi"));
  EXPECT_EQ(JobOutputPath("/m.dir/clip", folder, "MP3", true), dir.file("clip.mp3"));
  EXPECT_EQ(JobOutputPath("  /m/clip.avi  ", folder + "/", "VOB", true), dir.file("clip.vob"));
  // An empty folder is the current one.
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  EXPECT_EQ(JobOutputPath("clip.avi", "", "MPG", true), "clip.mpg");
  std::filesystem::current_path(cwd);
  EXPECT_EQ(ReplaceExtension("/a.b/c", ".mp4"), "/a.b/c.mp4");
  EXPECT_EQ(ReplaceExtension("/x/.hidden", ".mp4"), "/x/.hidden.mp4");
  EXPECT_EQ(OutputExtension("3GP"), ".3gp");
}

TEST(AspectRule, SourceRatioFromTheVideoSizeCell) {
  const struct {
    const char* cell;
    const char* ratio;
  } cases[] = {
      {"640x480", "1.3333"}, {"720x480", "1.5"},    {"1280x720", "1.7778"}, {"352x288", "1.2222"},
      {"720x576", "1.25"},   {" ", "1.3333"},       {"", "1.3333"},         {"640x0", "1.3333"},
      {"abc", "1.3333"},     {"axb", "1.3333"},     {"640x", "1.3333"},     {"x480", "1.3333"},
      {"1920x1080", "1.7778"}, {" 160x120 ", "1.3333"},
  };
  for (const auto& c : cases) EXPECT_EQ(SourceAspectRatio(c.cell), c.ratio) << "cell '" << c.cell << "'";
  EXPECT_EQ(JobAspectRatio(0, "720x480"), "1.5");
  EXPECT_EQ(JobAspectRatio(1, "720x480"), "4:3");
  EXPECT_EQ(JobAspectRatio(2, "720x480"), "16:9");
}

TEST(Volume, StepsOfTheBarWithUnchangedAtOneHundredPercent) {
  const int values[] = {600, 450, 400, 350, 300, 256, 200, 150, 100, 50, 1};
  const char* labels[] = {"200%", "180%", "160%", "140%", "120%", "100%", "80%", "60%", "40%", "20%", "0%"};
  for (int p = 0; p < VolumePositionCount; ++p) {
    EXPECT_EQ(ConversionVolumeFor(p), values[p]) << p;
    EXPECT_EQ(VolumeLabel(p), labels[p]) << p;
  }
  EXPECT_EQ(ConversionVolumeFor(DefaultVolumePosition), 256);
}

TEST(RowTexts, FrameRateRoundedToTwoDecimals) {
  EXPECT_EQ(FrameRateText(30000, 1001), "29.97");
  EXPECT_EQ(FrameRateText(25, 1), "25");
  EXPECT_EQ(FrameRateText(24000, 1001), "23.98");
  EXPECT_EQ(FrameRateText(60000, 1001), "59.94");
  EXPECT_EQ(FrameRateText(15, 2), "7.5");
  EXPECT_EQ(FrameRateText(25, 0), "");
  EXPECT_EQ(VideoSizeText(640, 480), "640x480");
}

TEST(RowTexts, DurationsInHoursMinutesSeconds) {
  EXPECT_EQ(DurationText(59600000), "00:00:59");  // truncated to whole seconds first
  EXPECT_EQ(DurationText(7205000000LL), "02:00:05");
  EXPECT_EQ(DurationText(360000000000LL), "100:00:00");
  EXPECT_EQ(DurationText(205000000), "00:03:25");
  EXPECT_EQ(DurationText(-1), "00:00:00");  // under a second rounds to zero seconds
  EXPECT_EQ(DurationText(INT64_MIN), "Unknown");
  EXPECT_EQ(DurationText(-5000000), "Unknown");
  EXPECT_EQ(FormatDuration(':', 59.6), "00:01:00");
  EXPECT_EQ(FormatDuration('.', 3661), "01.01.01");
  EXPECT_EQ(FormatDuration(':', 0.5), "00:00:00");  // half to even
  EXPECT_EQ(FormatDuration(':', 1.5), "00:00:02");
}

TEST(JobRecords, OutputRecordFromTheProfileWithVolumeAndAspect) {
  TProfileControls controls;
  FillOutputFormatList(controls.ComboOutputFormat);
  ASSERT_TRUE(ChooseOutputFormat(controls, "MP4 - MPEG4 Video (*.mp4)"))
      << "the MP4 row's display name changed; first offered: " << OfferedOutputFormats().front();
  test::TempDir dir;
  TJobRequest request;
  request.Source = " /media/clip.avi ";
  request.VideoSizeText = "1280x720";
  request.OutputFolder = dir.path().string();
  request.ConversionVolume = ConversionVolumeFor(3);
  TJob job;
  BuildJob(request, controls, job);
  EXPECT_EQ(job.Source, "/media/clip.avi");
  EXPECT_EQ(job.OutputPath, dir.file("clip.mp4"));
  EXPECT_EQ(job.Input.FileName, "/media/clip.avi");
  EXPECT_EQ(job.Input.StartTime, 0);
  EXPECT_EQ(job.Output.AudioVolume, 350);
  EXPECT_EQ(job.Output.AspectRatio, "1.7778");
  EXPECT_FALSE(job.Output.VideoCodec.empty());
  EXPECT_GT(job.Output.VideoBitrate, 0);

  // The aspect choice overrides the profile's translation.
  controls.ComboAspectRatio.SetItemIndex(2);
  FillJobOutputOptions(job.Output, controls, 256, "1280x720");
  EXPECT_EQ(job.Output.AspectRatio, "16:9");
  EXPECT_EQ(job.Output.AudioVolume, 256);
}

TEST(JobRecords, AnOutputThatWouldReplaceItsSourceIsRecognised) {
  test::TempDir dir;
  Touch(dir.file("clip.mp4"));
  TJob job;
  job.Source = dir.file("clip.mp4");
  job.OutputPath = dir.file("clip.mp4");
  EXPECT_TRUE(OutputReplacesSource(job));
  job.OutputPath = JobOutputPath(job.Source, dir.path().string(), "MP4", false);
  EXPECT_EQ(job.OutputPath, dir.file("clip-1.mp4"));
  EXPECT_FALSE(OutputReplacesSource(job));
}

}  // namespace
}  // namespace fennick
