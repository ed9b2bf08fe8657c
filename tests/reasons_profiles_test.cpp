// Reasons people can act on, and DVD settings that make DVDs: fennick-convert
// names the system's reason for a file it cannot open or a folder it cannot
// use, shows every reason on one line (and so does the window's tip), opens a
// local file named "file:..." as that file, gives null for what --probe
// --json does not know, and either converts a DVD choice into a file a DVD
// player takes or refuses it before it starts, naming what it takes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/file_list.h"
#include "component/task_options.h"
#include "profiles/output_formats.h"
#include "profiles/profile_settings.h"
#include "profiles/profile_translation.h"
#include "test_support.h"

namespace fennick {
namespace {

namespace fs = std::filesystem;
using test::Contains;
using test::Lines;
using test::RunCommand;
using test::ShellQuote;

const std::string kBin = std::string(FENNICK_BIN_DIR) + "/fennick-convert";
const std::string kDvd = "DVD - VOB (*.vob)";

// fennick-convert's stdout alone, run in folder.
test::CommandResult ConvertIn(const std::string& folder, const std::string& arguments) {
  return RunCommand("cd " + ShellQuote(folder) + " && " + ShellQuote(kBin) + " " + arguments + " 2>/dev/null");
}

std::string Clip(const test::TempDir& dir, const std::string& name) {
  const std::string path = dir.file(name);
  test::ClipSpec spec;
  spec.seconds = 0.5;
  EXPECT_TRUE(test::MakeClip(path, spec));
  return path;
}

// Read bits do not stop root: as root the command runs as "nobody".
TEST(Reasons, AnUnreadableSourceSaysPermissionDenied) {
  test::TempDir dir;
  const std::string source = Clip(dir, "locked.mp4");
  fs::permissions(source, fs::perms::none);
  fs::permissions(dir.path(), fs::perms::all);
  const std::string asUser = geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  const auto r = RunCommand(asUser + ShellQuote(kBin) + " -o " + ShellQuote(dir.path().string()) + " " +
                            ShellQuote(source) + " 2>/dev/null");
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_EQ(r.output, "Fail  " + source + " -> -: " + source + ": Error while opening file: Permission denied\n");
}

TEST(Reasons, ATruncatedFilesReasonIsOneLine) {
  test::TempDir dir;
  const std::string whole = dir.file("whole.mkv");
  ASSERT_TRUE(test::MakeMedia(whole, "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -c:v mpeg4"));
  const std::string cut = dir.file("cut.mkv");
  fs::copy_file(whole, cut);
  fs::resize_file(cut, 200);
  const auto r = ConvertIn(dir.path().string(), "cut.mkv");
  EXPECT_EQ(r.exitCode, 1) << r.output;
  const auto lines = Lines(r.output);
  ASSERT_EQ(lines.size(), 1u) << r.output;
  EXPECT_TRUE(Contains(lines[0], "Fail  cut.mkv -> -: cut.mkv: I/O error occurred")) << lines[0];
  EXPECT_TRUE(Contains(lines[0], "input file is truncated and/or corrupted.")) << lines[0];
  EXPECT_FALSE(Contains(lines[0], "\r")) << lines[0];
}

// The window shows a job's reason as the Progress cell's tip.
TEST(Reasons, TheWindowsFailureTipIsOneLine) {
  TFileList list;
  list.AppendError("cut.mkv");
  list.SetProgress(0, "Fail",
                   "cut.mkv: I/O error occurred\r\nUsually that means that input file is truncated and/or corrupted.");
  const std::string tip = list.Row(0).ProgressTip;
  EXPECT_EQ(tip.find_first_of("\r\n"), std::string::npos) << tip;
  EXPECT_TRUE(Contains(tip, "cut.mkv: I/O error occurred")) << tip;
  EXPECT_TRUE(Contains(tip, "Usually that means that input file is truncated and/or corrupted.")) << tip;
}

TEST(Reasons, ALocalFileNamedFileColonConverts) {
  test::TempDir dir;
  fs::rename(Clip(dir, "clip.mp4"), dir.file("file:y.mp4"));
  fs::create_directory(dir.file("out"));
  const auto r = ConvertIn(dir.path().string(), "-o out file:y.mp4");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(r.output, "Done  file:y.mp4 -> out/file:y.mp4\n");
  EXPECT_GE(test::FindStream(test::ProbeFile(dir.file("out/file:y.mp4")), "video"), 0);
}

TEST(Reasons, AnOutputFolderThatIsNoFolderSaysWhy) {
  test::TempDir dir;
  const std::string source = Clip(dir, "clip.mp4");
  std::ofstream(dir.file("notes.txt")) << "a file, not a folder\n";
  fs::create_symlink("loop-b", dir.file("loop-a"));
  fs::create_symlink("loop-a", dir.file("loop-b"));
  const struct {
    std::string folder, says;
  } cases[] = {
      {"notes.txt", "the output folder \"notes.txt\" is not a folder"},
      {"notes.txt/inside", "the output folder \"notes.txt/inside\" cannot be used: Not a directory"},
      {"loop-a", "the output folder \"loop-a\" cannot be used: Too many levels of symbolic links"},
  };
  for (const auto& c : cases) {
    const auto r = RunCommand("cd " + ShellQuote(dir.path().string()) + " && " + ShellQuote(kBin) + " -o " +
                              c.folder + " clip.mp4");
    EXPECT_EQ(r.exitCode, 2) << r.output;
    EXPECT_TRUE(Contains(r.output, c.says)) << r.output;
  }
}

// A song has no picture, a pipe no duration or bit rate: null, not -1 or
// the libraries' "no time" marker.
TEST(Reasons, ProbeJsonGivesNullForWhatItDoesNotKnow) {
  test::TempDir dir;
  const std::string song = dir.file("song.mp3");
  ASSERT_TRUE(test::MakeMedia(song, "-f lavfi -i sine=duration=0.5"));
  const std::string stream = dir.file("stream.ts");
  ASSERT_TRUE(test::MakeMedia(stream, "-f lavfi -i testsrc=size=160x120:rate=25:duration=0.5 -c:v mpeg2video"));
  const std::string checker =
      "import json,sys\n"
      "song,pipe=[json.loads(l) for l in sys.stdin]\n"
      "assert song['ok'] and pipe['ok'], (song, pipe)\n"
      "for k in ('width','height','frame_rate_num','frame_rate_den','display_aspect'):\n"
      "  assert song[k] is None, (k, song)\n"
      "assert song['duration_us']>0 and song['bit_rate']>0, song\n"
      "assert pipe['duration_us'] is None and pipe['bit_rate'] is None, pipe\n"
      "assert pipe['width']==160 and pipe['frame_rate_num']==25, pipe\n"
      "print('json ok')\n";
  const auto r = RunCommand("cat " + ShellQuote(stream) + " | { " + ShellQuote(kBin) + " --probe --json " +
                            ShellQuote(song) + " /dev/stdin 2>/dev/null; } | python3 -c " + ShellQuote(checker));
  EXPECT_TRUE(Contains(r.output, "json ok")) << r.output;
}

// Choices of the DVD entry that make no DVD are refused before anything is
// written, naming what the entry takes with the other settings.
TEST(DvdChoices, ThoseThatMakeNoDvdAreRefusedNamingWhatItTakes) {
  test::TempDir dir;
  const std::string source = Clip(dir, "clip.mp4");
  const std::string out = dir.file("out");
  fs::create_directory(out);
  const struct {
    std::string sets, takes;
  } cases[] = {
      {"--set 'VideoSize=724 x 576'", "it takes \"25 fps [PAL]\""},
      {"--set 'VideoFramerate=25 fps [PAL]'", "it takes \"29.97 fps [NTSC]\""},
      {"--set SamplingRate=44100", "it takes \"48000 Hz\""},
      {"--set VideoSize=128x96",
       "it takes \"352 x 240\", \"352 x 288 (CIF)\", \"704 x 576 (4CIF)\", \"724 x 480\" or \"724 x 576\""},
  };
  for (const auto& c : cases) {
    const auto r = ConvertIn(dir.path().string(), "-f dvd -o out " + c.sets + " clip.mp4");
    EXPECT_EQ(r.exitCode, 1) << c.sets << ": " << r.output;
    EXPECT_TRUE(Contains(r.output, "Fail  clip.mp4 -> -: ") && Contains(r.output, c.takes)) << c.sets << ": "
                                                                                             << r.output;
  }
  EXPECT_TRUE(fs::is_empty(out));
}

// Every combination of size, frame rate, sampling rate and audio codec that
// the DVD entry accepts gives a DVD picture (720 or 704 or 352 wide, 576
// lines at 25 fps or 480 at 29.97, or the half sizes) and 48 kHz sound.
TEST(DvdChoices, EveryAcceptedCombinationGivesADvd) {
  test::TempDir dir;
  const std::string source = Clip(dir, "clip.mp4");
  TProfileControls controls;
  FillOutputFormatList(controls.ComboOutputFormat);
  ASSERT_TRUE(ChooseOutputFormat(controls, kDvd));
  const TProfileControls fresh = controls;
  int accepted = 0;
  for (const std::string& size : fresh.ComboVideoSize.Items())
    for (const std::string& rate : fresh.ComboVideoFramerate.Items())
      for (const std::string& sampling : fresh.ComboSamplingRate.Items())
        for (const std::string& codec : fresh.ComboAudioCodec.Items()) {
          controls = fresh;
          controls.ComboVideoSize.SelectText(size);
          controls.ComboVideoFramerate.SelectText(rate);
          controls.ComboSamplingRate.SelectText(sampling);
          controls.ComboAudioCodec.SelectText(codec);
          TOutputOptions options;
          InitOutputOptions(options);
          try {
            ApplyProfileToOptions(controls, options);
          } catch (const EProfileSettingRefused&) {
            continue;
          }
          ++accepted;
          const std::string choice = size + ", " + rate + ", " + sampling + ", " + codec;
          SCOPED_TRACE(choice);
          const std::string out = dir.file("out" + std::to_string(accepted));
          fs::create_directory(out);
          const auto r = ConvertIn(dir.path().string(), "-f dvd -o " + ShellQuote(out) + " --set " +
                                                            ShellQuote("VideoSize=" + size) + " --set " +
                                                            ShellQuote("VideoFramerate=" + rate) + " --set " +
                                                            ShellQuote("SamplingRate=" + sampling) + " --set " +
                                                            ShellQuote("AudioCodec=" + codec) + " clip.mp4");
          ASSERT_EQ(r.exitCode, 0) << r.output;
          const auto probe = test::ProbeFile(out + "/clip.vob");
          const int video = test::FindStream(probe, "video"), audio = test::FindStream(probe, "audio");
          ASSERT_GE(video, 0);
          ASSERT_GE(audio, 0);
          const std::string width = test::StreamValue(probe, video, "width");
          const std::string height = test::StreamValue(probe, video, "height");
          const std::string fps = test::StreamValue(probe, video, "r_frame_rate");
          const bool pal = (height == "576" || height == "288") && fps == "25/1";
          const bool ntsc = (height == "480" || height == "240") && fps == "30000/1001";
          const bool fullHeight = height == "480" || height == "576";
          const bool dvdWidth = fullHeight ? width == "720" || width == "704" || width == "352" : width == "352";
          // The first file that is no DVD ends the test.
          ASSERT_TRUE((pal || ntsc) && dvdWidth) << width << "x" << height << " at " << fps;
          EXPECT_EQ(test::StreamValue(probe, video, "codec_name"), "mpeg2video");
          ASSERT_EQ(test::StreamValue(probe, audio, "sample_rate"), "48000");
        }
  // Both norms and both sound codecs are among them.
  EXPECT_EQ(accepted, 10);
}

}  // namespace
}  // namespace fennick
