// The job builder and the list's row texts: output naming, the aspect rule,
// the volume steps, the records of a job, and the probe-derived texts; and
// jobs built from probed sources, converted through the component.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "jobs/job_builder.h"
#include "jobs/row_texts.h"
#include "component/AVProbe.h"
#include "component/FFmpegVCL.h"
#include "profiles/output_formats.h"
#include "test_support.h"

namespace fennick {
namespace {

void Touch(const std::string& path) { std::ofstream(path) << "x"; }

TEST(OutputNaming, InsertsTheFirstFreeNumberBeforeTheExtension) {
  test::TempDir dir;
  Touch(dir.file("clip.mp4"));
  Touch(dir.file("clip-1.mp4"));
  EXPECT_EQ(MakeUniqueOutputName(dir.file("clip.avi"), ".mp4"), dir.file("clip-2.mp4"));
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
  TJob job;
  TJobSettings settings = SnapshotSettings(controls, ConversionVolumeFor(3));
  BuildJob(request, settings, job);
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

  // Settings of a format the catalogue no longer offers: no job, no name.
  settings.Format = "MP4 - Gone Video (*.mp4)";
  EXPECT_THROW(BuildJob(request, settings, job), EJobSettingsError);
  EXPECT_TRUE(job.OutputPath.empty());
}

// "Original Video Size" hands the engine the source's size; one the video
// encoder cannot code (odd, or not a multiple of 16 for RV10) is rounded to
// the nearest it can.
TEST(JobRecords, SourceSizeIsFittedToTheVideoEncoder) {
  TProfileControls controls;
  FillOutputFormatList(controls.ComboOutputFormat);
  TOutputOptions options;
  ASSERT_TRUE(ChooseOutputFormat(controls, "AVI - XviD Video (*.avi)"));
  FillJobOutputOptions(options, controls, 256, "321x241");
  EXPECT_EQ(options.FrameSize, "320x240");
  FillJobOutputOptions(options, controls, 256, "320x240");
  EXPECT_EQ(options.FrameSize, "");  // fits: the engine keeps the source size
  ASSERT_TRUE(ChooseOutputFormat(controls, "RM - Real Video (*.rm)"));
  ASSERT_TRUE(controls.ComboVideoSize.SelectText("Original Video Size"));
  FillJobOutputOptions(options, controls, 256, "330x250");
  EXPECT_EQ(options.FrameSize, "336x256");
  ASSERT_TRUE(ChooseOutputFormat(controls, "MP3 - Mpeg Layer3 Audio (*.mp3)"));
  FillJobOutputOptions(options, controls, 256, "321x241");
  EXPECT_EQ(options.FrameSize, "");
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

// ---- jobs from probed sources, converted

// The list's row for file, as the window fills it from the probe.
TRowTexts ProbedRow(TFFmpegVCL& vcl, const std::string& file) {
  TAVProbe& probe = vcl.Probe();
  if (!probe.LoadFile(file, "")) return {};
  const TRowTexts row = ProbeRowTexts(probe);
  probe.CloseFile();
  return row;
}

// Builds the job for source with the format's default settings and runs it;
// the conversion's failure text, empty when it is done.
std::string ConvertJob(const std::string& format, const std::string& source, const std::string& folder,
                       TJob& job) {
  TFFmpegVCL vcl;
  if (!vcl.LoadCodecLibraries("", true)) return "libraries: " + vcl.LastError();
  TProfileControls controls;
  FillOutputFormatList(controls.ComboOutputFormat);
  if (!ChooseOutputFormat(controls, format)) return "no format " + format;
  const TRowTexts row = ProbedRow(vcl, source);
  TJobRequest request;
  request.Source = source;
  request.VideoSizeText = row.VideoSize;
  request.DisplayAspect = row.DisplayAspect;
  request.OutputFolder = folder;
  BuildJob(request, SnapshotSettings(controls, 256), job);

  const int task = vcl.AddInputTask(job.Source, &job.Input);
  if (task < 0) return "input: " + vcl.LastError();
  if (!vcl.AddTaskOutput(task, job.OutputPath, &job.Output, job.OutputReservation)) return "output: " + vcl.LastError();
  const test::TaskEnd end = test::RunTasks(vcl);
  return end.Finished && !end.Exception ? "" : "ended: " + end.Message;
}

// A 720x576 picture with 64:45 pixels shows 16:9 (DVD rips, DV, broadcast);
// "Original" used to take 720/576 and squeeze it to 5:4.
TEST(JobConversion, AnamorphicSourceKeepsItsShapeInMp4AndDvd) {
  test::RequireLibraries();
  test::TempDir dir;
  const std::string source = dir.file("wide.mpg");
  ASSERT_TRUE(test::MakeMedia(source,
                              "-f lavfi -i testsrc=size=720x576:rate=25:duration=0.6 -f lavfi -i sine=duration=0.6 "
                              "-vf setsar=64/45 -c:v mpeg2video -c:a mp2"));
  for (const char* format : {"MP4 - MPEG4 Video (*.mp4)", "DVD - VOB (*.vob)"}) {
    SCOPED_TRACE(format);
    TJob job;
    ASSERT_EQ(ConvertJob(format, source, dir.path().string(), job), "");
    EXPECT_EQ(job.Output.AspectRatio, "1.7778");
    const auto probe = test::ProbeFile(job.OutputPath);
    const int video = test::FindStream(probe, "video");
    ASSERT_GE(video, 0);
    EXPECT_EQ(test::StreamValue(probe, video, "display_aspect_ratio"), "16:9");
  }
}

// The DVD row's defaults make a DVD picture: a full frame at the NTSC rate
// (its default size item "724 x 480" used to give a width no player takes).
TEST(JobConversion, DvdDefaultsGiveAnNtscFullFrame) {
  test::RequireLibraries();
  test::TempDir dir;
  const std::string source = dir.file("clip.mp4");
  ASSERT_TRUE(test::MakeClip(source));
  TJob job;
  ASSERT_EQ(ConvertJob("DVD - VOB (*.vob)", source, dir.path().string(), job), "");
  const auto probe = test::ProbeFile(job.OutputPath);
  const int video = test::FindStream(probe, "video");
  ASSERT_GE(video, 0);
  EXPECT_EQ(test::StreamValue(probe, video, "width") + "x" + test::StreamValue(probe, video, "height"), "720x480");
  EXPECT_EQ(test::StreamValue(probe, video, "r_frame_rate"), "30000/1001");
}

// Switches the process to a locale whose decimal separator is a comma, as the
// window's toolkit does with the user's locale, and back at the end. The
// locale is generated into a private folder when the system has none.
class TDecimalCommaLocale {
 public:
  TDecimalCommaLocale() : FOldLocale(std::setlocale(LC_ALL, nullptr)) {
    if (const char* path = std::getenv("LOCPATH")) FOldLocPath = path;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE"})
      if (Use(name)) return;
    FLocales.emplace();
    const auto made = test::RunCommand("localedef -i de_DE -f ISO-8859-1 " + test::ShellQuote(FLocales->file("de_DE")));
    setenv("LOCPATH", FLocales->path().c_str(), 1);
    if (!Use("de_DE")) FError = "no decimal-comma locale, and localedef failed: " + made.output;
  }
  ~TDecimalCommaLocale() {
    std::setlocale(LC_ALL, FOldLocale.c_str());
    if (FOldLocPath)
      setenv("LOCPATH", FOldLocPath->c_str(), 1);
    else
      unsetenv("LOCPATH");
  }
  const std::string& Error() const { return FError; }

 private:
  bool Use(const char* name) { return std::setlocale(LC_ALL, name) && *std::localeconv()->decimal_point == ','; }

  std::string FOldLocale;
  std::optional<std::string> FOldLocPath;
  std::optional<test::TempDir> FLocales;
  std::string FError;
};

// Under a decimal-comma locale the aspect used to be written "1,3333" and
// the rate "15.0", which the engine read as 15 followed by garbage: every
// "Original" job failed. The engine reads decimals it is given the same way
// under any locale.
TEST(JobConversion, DecimalCommaLocaleConvertsWithOriginal) {
  test::RequireLibraries();
  test::TempDir dir;
  const std::string source = dir.file("clip.mp4");
  ASSERT_TRUE(test::MakeClip(source));
  TDecimalCommaLocale locale;
  ASSERT_EQ(locale.Error(), "");
  TJob job;
  ASSERT_EQ(ConvertJob("FLV - Flash Video (*.flv)", source, dir.path().string(), job), "");
  EXPECT_EQ(job.Output.AspectRatio, "1.3333");
  EXPECT_EQ(job.Output.FrameRate, "15");
  const auto probe = test::ProbeFile(job.OutputPath);
  EXPECT_EQ(test::StreamValue(probe, test::FindStream(probe, "video"), "r_frame_rate"), "15/1");

  TFFmpegVCL vcl;
  ASSERT_TRUE(vcl.LoadCodecLibraries("", true));
  const int task = vcl.AddInputTask(source, &job.Input);
  ASSERT_GE(task, 0) << vcl.LastError();
  job.Output.FrameRate = "12.5";
  job.Output.FileName.clear();  // the record named the first output
  EXPECT_TRUE(vcl.AddTaskOutput(task, dir.file("decimal rate.flv"), &job.Output)) << vcl.LastError();

  // The list's display cells do follow the user's locale.
  EXPECT_EQ(FrameRateText(30000, 1001), "29,97");
}

}  // namespace
}  // namespace fennick
