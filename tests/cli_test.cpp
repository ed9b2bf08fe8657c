// fennick-convert run as a user runs it: listing, usage errors, finding
// formats and settings items, the naming rule and what it protects, failing
// files beside good ones, progress and result lines, Ctrl-C and SIGTERM,
// JSON lines, the probe, the engine mode, and a few formats converting a
// generated sample (the component's own tests convert every format). Also
// the command's pieces that need no media: progress lines and reasons.
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "jobs/conversion_run.h"
#include "cli/file_results.h"
#include "cli/format_choice.h"
#include "cli/progress_bar.h"
#include "profiles/output_formats.h"
#include "profiles/profile_translation.h"
#include "test_support.h"

namespace fennick {
namespace {

using test::Contains;
using test::Lines;
using test::CommandResult;
using test::RunCommand;
using test::ShellQuote;

const std::string kBin = std::string(FENNICK_BIN_DIR) + "/fennick-convert";
const std::string kMp4 = "MP4 - MPEG4 Video (*.mp4)";

CommandResult Convert(const std::string& arguments) { return RunCommand(ShellQuote(kBin) + " " + arguments); }
// stdout only.
CommandResult ConvertStdout(const std::string& arguments) {
  return RunCommand("{ " + ShellQuote(kBin) + " " + arguments + " 2>/dev/null; }");
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool HasStream(const std::string& path, const std::string& kind) {
  return test::FindStream(test::ProbeFile(path), kind) >= 0;
}

// True when text is well-formed UTF-8.
bool ValidUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || i + n > text.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

// One small sample clip (1 s, 160x120, test pattern and tone) for the suite.
class CliTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    FSampleDir = std::make_unique<test::TempDir>();
    test::ClipSpec spec;
    spec.width = 160;
    spec.height = 120;
    ASSERT_TRUE(test::MakeClip(Sample(), spec));
  }
  static void TearDownTestSuite() {
    FSampleDir.reset();
  }
  static std::string Sample() { return FSampleDir->file("sample.mp4"); }
  // A clip that takes the H264 encoder several seconds (made on first use).
  static std::string LongClip() {
    const std::string clip = FSampleDir->file("long.mov");
    if (!std::filesystem::exists(clip)) {
      test::ClipSpec spec;
      spec.seconds = 20;
      spec.width = 640;
      spec.height = 480;
      EXPECT_TRUE(test::MakeClip(clip, spec));
    }
    return clip;
  }
  // A copy of the sample under another name.
  std::string SampleAs(const std::string& path) {
    std::filesystem::copy_file(Sample(), path, std::filesystem::copy_options::overwrite_existing);
    return path;
  }

  test::TempDir FDir;
  static std::unique_ptr<test::TempDir> FSampleDir;
};
std::unique_ptr<test::TempDir> CliTest::FSampleDir;

TEST_F(CliTest, ListFormatsPrintsTheOfferedNamesInListOrder) {
  const auto r = ConvertStdout("--list-formats");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(Lines(r.output), OfferedOutputFormats());
  EXPECT_EQ(Lines(r.output).size(), 67u);
}

TEST_F(CliTest, HelpDocumentsEveryCommand) {
  const auto r = Convert("--help");
  EXPECT_EQ(r.exitCode, 0);
  for (const char* word : {"--list-formats", "--list-settings", "--probe", "--engine", "--set", "--aspect",
                           "--volume", "--json", "--overwrite", "--threads", "--jobs", "Abort", "Skip", "130", "143"})
    EXPECT_NE(r.output.find(word), std::string::npos) << word;
}

TEST_F(CliTest, MalformedCommandLinesExitWithStatus2AndSayWhy) {
  const std::string sample = ShellQuote(Sample());
  const struct {
    std::string arguments, message;
  } cases[] = {
      {"", "no input files"},
      {"--bogus " + sample, "unknown option --bogus"},
      {sample + " -f", "option -f needs a value"},
      {"-o", "option -o needs a value"},
      {"--set", "option --set needs a value"},
      {"--volume 201 " + sample, "--volume takes a percentage from 0"},
      {"--volume x " + sample, "--volume takes a percentage from 0"},
      {"--aspect 5:4 " + sample, "--aspect takes Original, 4:3 or 16:9"},
      {"--threads many " + sample, "--threads takes a number of codec threads"},
      {"-j 0 " + sample, "-j takes a number of files converted at once"},
      {"--set Colour=red " + sample, "unknown control \"Colour\""},
      {"--set VideoSize " + sample, "--set takes CONTROL=ITEM"},
      {"-f 'No Such Format' " + sample, "unknown output format \"No Such Format\""},
      {"-f 'mpeg-2 move' " + sample, "closest: \"MPEG-2 Movie (*.mpg)\""},
      {"-f ipod " + sample, "matches several entries: \"iPod (*.mp4)\""},
      {"--list-settings", "option --list-settings needs a value"},
      {"-o " + sample + "/inside " + sample, "cannot be used"},
      {"--list-formats " + sample, "--list-formats takes no other arguments"},
      {"--probe -o . " + sample, "does not apply to --probe"},
      {"--engine -i", "-i needs an input file"},
      {"--engine -i " + sample, "no output file"},
      {"--engine -vcodec", "-vcodec needs a value"},
  };
  for (const auto& c : cases) {
    const auto r = Convert(c.arguments);
    EXPECT_EQ(r.exitCode, 2) << c.arguments << "\n" << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << c.arguments << "\n" << r.output;
  }
}

// A missing output folder is made, with the folders above it.
TEST_F(CliTest, AMissingOutputFolderIsMade) {
  const std::string folder = FDir.file("made/by/convert");
  const auto r = Convert("-f mp3 -o " + ShellQuote(folder) + " " + ShellQuote(Sample()));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(test::FindStream(test::ProbeFile(folder + "/" + std::filesystem::path(Sample()).stem().string() + ".mp3"),
                             "audio"),
            0);
}

TEST_F(CliTest, SetRefusesAnItemTheProfileDoesNotOfferAndListsTheValidOnes) {
  const auto r = Convert("-f " + ShellQuote(kMp4) + " --set 'VideoSize=999 x 999' -o " +
                         ShellQuote(FDir.path().string()) + " " + ShellQuote(Sample()));
  EXPECT_EQ(r.exitCode, 2) << r.output;
  EXPECT_NE(r.output.find("does not offer \"999 x 999\""), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("valid items: \"Original Video Size\""), std::string::npos) << r.output;
  EXPECT_TRUE(std::filesystem::is_empty(FDir.path()));
}

TEST_F(CliTest, SetChoosesAnOfferedItemByItsNumber) {
  const auto r = Convert("-f " + ShellQuote(kMp4) + " --set VideoSize=320x240 --set VideoBitrate=1500" +
                         " --set SamplingRate=22050 -o " + ShellQuote(FDir.path().string()) + " " +
                         ShellQuote(Sample()));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const auto probe = test::ProbeFile(FDir.file("sample.mp4"));
  const int v = test::FindStream(probe, "video"), a = test::FindStream(probe, "audio");
  ASSERT_GE(v, 0);
  ASSERT_GE(a, 0);
  EXPECT_EQ(test::StreamValue(probe, v, "width"), "320");
  EXPECT_EQ(test::StreamValue(probe, v, "height"), "240");
  EXPECT_EQ(test::StreamValue(probe, a, "sample_rate"), "22050");
}

TEST_F(CliTest, ListSettingsShowsEachListWithItsDefault) {
  const auto r = ConvertStdout("--list-settings mp4");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(Lines(r.output).front(), kMp4 + "  (* the default)");
  EXPECT_TRUE(Contains(r.output, "\nVideoBitrate:\n    192 Kbps\n")) << r.output;
  EXPECT_TRUE(Contains(r.output, "\n  * 1200 Kbps\n    1500 Kbps\n")) << r.output;
  EXPECT_TRUE(Contains(r.output, "\nAudioChannels:\n  * Stereo\n    Mono\n")) << r.output;
}

TEST(CliChoices, FormatsByShortNameOrUniquePartAndItemsByNumber) {
  EXPECT_EQ(cli::ResolveOutputFormat(kMp4), kMp4);
  EXPECT_EQ(cli::ResolveOutputFormat("mp4"), kMp4);  // before the devices that also make MP4
  EXPECT_EQ(cli::ResolveOutputFormat("AVI"), "AVI - Audio Video Interleave (*.avi)");
  EXPECT_EQ(cli::ResolveOutputFormat("mpg"), "MPEG-1 Movie (*.mpg)");
  EXPECT_EQ(cli::ResolveOutputFormat("dvd"), "DVD - VOB (*.vob)");
  EXPECT_EQ(cli::ResolveOutputFormat("ipod touch wide"), "iPod Touch Wide Screen (*.mp4)");

  const TSettingsControl sizes({"Original Video Size", "640 x 480 (VGA)", "720 x 480"}, 0);
  EXPECT_EQ(cli::FindSettingItem(sizes, "640x480"), 1);
  EXPECT_EQ(cli::FindSettingItem(sizes, "720 X 480"), 2);
  const TSettingsControl rates({"8000  Hz", "44100 Hz"}, 0);
  EXPECT_EQ(cli::FindSettingItem(rates, "8000"), 0);
  EXPECT_EQ(cli::FindSettingItem(rates, "4410"), -1);
  const TSettingsControl frameRates({"Auto", "15.0 fps", "29.97 fps"}, 0);
  EXPECT_EQ(cli::FindSettingItem(frameRates, "15"), 1);  // the same number, written shorter
  EXPECT_EQ(cli::FindSettingItem(frameRates, "29.97"), 2);
  const TSettingsControl twice({"64 Kbps", "64 Kbps (mono)"}, 0);
  EXPECT_EQ(cli::FindSettingItem(twice, "64"), -1);  // not unique
}

TEST(CliArguments, EngineSwitchesAreTheEngineOptionsThatTakeNoValue) {
  std::string steps;
  for (const auto& s : cli::ParseEngineArguments({"-y", "-i", "in.mp4", "-an", "-vpre", "fast", "-newaudio", "o.mp4"}))
    steps += "[" + std::to_string(s.Kind) + " " + s.Name + " " + s.Value + "]";
  EXPECT_EQ(steps, "[0 y ][1  in.mp4][0 an ][0 vpre fast][0 newaudio ][2  o.mp4]");
}

TEST(CliArguments, CodecThreadsAreTheMachinesSharedAmongTheJobs) {
  const auto threads = [](std::vector<std::string> args, unsigned cores) {
    args.insert(args.end(), {"a.mp4", "b.mp4", "c.mp4"});
    const cli::TCliArguments parsed = cli::ParseArguments(args);
    return SharedCodecThreads(parsed.Threads, parsed.Jobs, parsed.Files.size(), cores);
  };
  EXPECT_EQ(threads({}, 8), 0) << "one file at a time: the libraries' choice";
  EXPECT_EQ(threads({"-j", "2"}, 8), 4);
  EXPECT_EQ(threads({"-j", "4"}, 2), 1);
  EXPECT_EQ(threads({"-j", "2", "--threads", "auto"}, 8), 0);
  EXPECT_EQ(threads({"--threads", "1"}, 8), 1);
}

TEST_F(CliTest, AFailedEngineRunReportsItsErrorBeforeItsEncoderCloses) {
  // Nothing can be written to /dev/full; libx264 sums up its frames when it
  // is closed.
  const auto r = Convert("--engine -i " + ShellQuote(Sample()) + " -an -vcodec libx264 -f matroska /dev/full");
  EXPECT_EQ(r.exitCode, 1) << r.output;
  const size_t error = r.output.find("No space left on device");
  ASSERT_NE(error, std::string::npos) << r.output;
  const size_t summary = r.output.find("frame I:");
  ASSERT_NE(summary, std::string::npos) << r.output;
  EXPECT_LT(error, summary) << r.output;
}

// The loudest sample of a file in dB, as ffmpeg's volumedetect reads it.
double MaxVolume(const std::string& path) {
  const auto r = RunCommand("ffmpeg -hide_banner -nostdin -i " + ShellQuote(path) + " -af volumedetect -f null -");
  const size_t at = r.output.find("max_volume: ");
  return at == std::string::npos ? 1e9 : std::stod(r.output.substr(at + 12));
}

TEST_F(CliTest, VolumeIsAPercentageWithTheGainItSays) {
  const std::string tone = FDir.file("tone.wav");
  ASSERT_TRUE(test::MakeMedia(tone, "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=1 -c:a pcm_s16le"));
  std::map<std::string, double> level;
  for (const char* percent : {"100", "50", "200", "0"}) {
    const std::string folder = FDir.file(std::string("volume-") + percent);
    std::filesystem::create_directory(folder);
    const auto r = Convert("-f wav --volume " + std::string(percent) + " -o " + ShellQuote(folder) + " " +
                           ShellQuote(tone));
    ASSERT_EQ(r.exitCode, 0) << percent << ": " << r.output;
    level[percent] = MaxVolume(folder + "/tone.wav");
  }
  EXPECT_NEAR(level["50"] - level["100"], -6.0, 0.3);
  EXPECT_NEAR(level["200"] - level["100"], 6.0, 0.3);
  EXPECT_LT(level["0"], -90) << "not silent";
}

TEST_F(CliTest, NamingRuleNumbersTakenNamesAndOverwriteReplaces) {
  const std::string out = FDir.path().string() + "/out";
  std::filesystem::create_directory(out);
  std::ofstream(out + "/clip.mp4") << "taken";
  std::ofstream(out + "/clip-1.mp4") << "taken";
  const std::string clip = SampleAs(FDir.file("clip.avi"));
  const std::string holiday = SampleAs(FDir.file("holiday.2008.mov"));

  auto r = Convert("-f " + ShellQuote(kMp4) + " -o " + ShellQuote(out) + " " + ShellQuote(clip) + " " +
                   ShellQuote(holiday));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(HasStream(out + "/clip-2.mp4", "video"));
  EXPECT_TRUE(HasStream(out + "/holiday.2008.mp4", "video"));
  EXPECT_NE(r.output.find("Done  " + clip + " -> " + out + "/clip-2.mp4"), std::string::npos) << r.output;
  EXPECT_FALSE(std::filesystem::exists(out + "/clip-3.mp4"));

  r = Convert("-f " + ShellQuote(kMp4) + " --overwrite -o " + ShellQuote(out) + " " + ShellQuote(clip));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(HasStream(out + "/clip.mp4", "video")) << "the placeholder was not replaced";
  EXPECT_FALSE(std::filesystem::exists(out + "/clip-3.mp4"));
}

TEST_F(CliTest, OverwriteNeverReplacesASourceOrAnOutputOfTheSameRun) {
  // x.avi would become x.mp4, a source of the run not converted yet; x.mp4
  // would replace itself.
  const std::string folder = FDir.path().string();
  const std::string avi = SampleAs(FDir.file("x.avi")), mp4 = SampleAs(FDir.file("x.mp4"));
  std::ofstream(FDir.file("x-1.mp4")) << "an earlier run's output";
  auto r = Convert("-f " + ShellQuote(kMp4) + " --overwrite -o " + ShellQuote(folder) + " " + ShellQuote(avi) + " " +
                   ShellQuote(mp4));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(Contains(r.output, "Done  " + avi + " -> " + folder + "/x-1.mp4")) << r.output;
  EXPECT_TRUE(Contains(r.output, "Done  " + mp4 + " -> " + folder + "/x-2.mp4")) << r.output;
  for (const std::string& file : {avi, mp4}) EXPECT_EQ(ReadText(file), ReadText(Sample())) << file;
  for (const char* name : {"x-1.mp4", "x-2.mp4"}) EXPECT_EQ(test::CountFrames(FDir.file(name), "video"), 25) << name;

  // Two sources of one name into one folder: the second does not replace
  // what the first wrote.
  std::filesystem::create_directories(FDir.file("a"));
  std::filesystem::create_directories(FDir.file("b"));
  const std::string out = FDir.file("out");
  std::filesystem::create_directories(out);
  r = Convert("-f wav --overwrite -o " + ShellQuote(out) + " " + ShellQuote(SampleAs(FDir.file("a/clip.mp3"))) + " " +
              ShellQuote(SampleAs(FDir.file("b/clip.wav"))));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(Contains(r.output, " -> " + out + "/clip.wav\n")) << r.output;
  EXPECT_TRUE(Contains(r.output, " -> " + out + "/clip-1.wav\n")) << r.output;
  for (const char* name : {"clip.wav", "clip-1.wav"})
    EXPECT_TRUE(HasStream(out + "/" + name, "audio")) << name;
}

TEST_F(CliTest, ConcurrentRunsIntoOneFolderEachKeepTheirOutput) {
  const std::string out = FDir.file("out");
  std::filesystem::create_directories(out);
  std::string script;
  for (int i = 0; i < 4; ++i) {
    const std::string folder = FDir.file("src" + std::to_string(i));
    std::filesystem::create_directories(folder);
    script += ShellQuote(kBin) + " -f mp4 -o " + ShellQuote(out) + " " + ShellQuote(SampleAs(folder + "/clip.mp4")) +
              " 2>/dev/null & ";
  }
  const auto r = RunCommand("bash -c " + ShellQuote(script + "wait"));
  for (const char* name : {"clip.mp4", "clip-1.mp4", "clip-2.mp4", "clip-3.mp4"}) {
    EXPECT_TRUE(Contains(r.output, " -> " + out + "/" + name + "\n")) << r.output;
    EXPECT_EQ(test::CountFrames(out + "/" + name, "video"), 25) << name;
  }
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(ReadText(FDir.file("src" + std::to_string(i) + "/clip.mp4")), ReadText(Sample()));
}

TEST_F(CliTest, AFileNameWithBlanksAtItsEndsIsUsedAsGiven) {
  const std::string source = SampleAs(FDir.file(" clip.avi "));
  const std::string folder = FDir.path().string();
  const auto r = Convert("-f mp4 -o " + ShellQuote(folder) + " " + ShellQuote(source));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(Contains(r.output, "Done  " + source + " -> " + folder + "/ clip.mp4")) << r.output;
  EXPECT_EQ(test::CountFrames(FDir.file(" clip.mp4"), "video"), 25);
}

TEST_F(CliTest, APipedSourceIsReadOnce) {
  test::ClipSpec spec;
  spec.width = 160;
  spec.height = 120;
  spec.videoCodec = "mpeg1video";
  spec.audioCodec = "mp2";
  const std::string clip = FDir.file("clip.mpg");
  ASSERT_TRUE(test::MakeClip(clip, spec));
  const std::string out = FDir.file("out");
  std::filesystem::create_directories(out);
  const auto r = RunCommand("bash -c " + ShellQuote(ShellQuote(kBin) + " -f mp4 -o " + ShellQuote(out) +
                                                    " <(cat " + ShellQuote(clip) + ")"));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  ASSERT_TRUE(Contains(r.output, "Done  /dev/fd/")) << r.output;
  const auto outputs = std::filesystem::directory_iterator(out);
  ASSERT_NE(outputs, std::filesystem::directory_iterator()) << r.output;
  EXPECT_EQ(test::CountFrames(outputs->path().string(), "video"), 25);
}

TEST_F(CliTest, AnOutputFolderThatCannotBeWrittenSaysWhy) {
  // Write bits do not stop root: the command then runs as "nobody".
  const std::string folder = FDir.file("read-only");
  std::filesystem::create_directories(folder);
  std::filesystem::permissions(folder, std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                                           std::filesystem::perms::others_write,
                               std::filesystem::perm_options::remove);
  const std::string source = SampleAs(FDir.file("sample.mp4"));
  std::filesystem::permissions(FDir.path(), std::filesystem::perms::others_exec, std::filesystem::perm_options::add);
  std::filesystem::permissions(source, std::filesystem::perms::others_read, std::filesystem::perm_options::add);
  const std::string asUser = geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  const auto r = RunCommand(asUser + ShellQuote(kBin) + " -f mp4 --json -o " + ShellQuote(folder) + " " +
                            ShellQuote(source));
  // Refused once, before any file, as a missing folder is.
  EXPECT_EQ(r.exitCode, 2) << r.output;
  EXPECT_TRUE(Contains(r.output, "the output folder \"" + folder + "\" cannot be written: Permission denied")) << r.output;
  EXPECT_FALSE(Contains(r.output, "\"event\":\"done\"")) << r.output;
  EXPECT_TRUE(std::filesystem::is_empty(folder));
}

TEST_F(CliTest, FailingFilesShowTheirReasonWhileTheOthersConvert) {
  const std::string out = FDir.path().string();
  const std::string missing = FDir.file("missing.avi");
  const std::string text = FDir.file("notes.avi");
  std::ofstream(text) << "this is not a media file\n";
  const std::string first = SampleAs(FDir.file("first.mov")), last = SampleAs(FDir.file("last.mov"));

  const auto r = Convert("-f " + ShellQuote(kMp4) + " -o " + ShellQuote(out) + " " + ShellQuote(first) + " " +
                         ShellQuote(missing) + " " + ShellQuote(text) + " " + ShellQuote(last));
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_NE(r.output.find("Done  " + first), std::string::npos) << r.output;
  // No output is named for them: none was written.
  EXPECT_NE(r.output.find("Fail  " + missing + " -> -: " + missing), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("Fail  " + text + " -> -: " + text), std::string::npos) << r.output;
  EXPECT_FALSE(std::filesystem::exists(out + "/missing.mp4"));
  EXPECT_NE(r.output.find("Done  " + last), std::string::npos) << r.output;
  EXPECT_TRUE(HasStream(out + "/first.mp4", "video"));
  EXPECT_TRUE(HasStream(out + "/last.mp4", "video"));
}

// A source whose picture goes on long after its sound: its sound alone has
// not ended early, nor its picture and sound; a source cut short has.
TEST_F(CliTest, ASoundOnlyOutputIsJudgedByTheSoundsOwnLength) {
  const std::string source = FDir.file("slides.mp4");
  ASSERT_TRUE(test::MakeMedia(source, "-f lavfi -i testsrc2=s=160x120:r=25:d=8 -f lavfi -i sine=d=3 "
                                      "-c:v libx264 -preset ultrafast -c:a aac"));
  const std::string out = FDir.path().string();
  // Progress runs to the length of what the output holds.
  for (const auto& [format, total] : {std::pair{"flac", "3000"}, std::pair{"mkv", "8000"}}) {
    const auto r = Convert(std::string("--json -f ") + format + " -o " + ShellQuote(out) + " " + ShellQuote(source));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(Contains(r.output, "\"status\":\"Done\",\"message\":\"\"")) << r.output;
    EXPECT_TRUE(Contains(r.output, std::string("\"total_ms\":") + total + "}")) << r.output;
  }
  const std::string cut = FDir.file("cut.flac");
  ASSERT_TRUE(test::MakeMedia(cut, "-f lavfi -i sine=d=8 -c:a flac"));
  // A quarter short.
  std::filesystem::resize_file(cut, std::filesystem::file_size(cut) * 3 / 4);
  const auto r = Convert("-f mp3 -o " + ShellQuote(out) + " " + ShellQuote(cut));
  EXPECT_TRUE(Contains(r.output, "(the source ended early, at 00:00:0")) << r.output;
}

TEST_F(CliTest, AnEncoderThatRefusesTheChosenSettingsFailsWithItsReason) {
  // H.263 only takes its standard picture sizes; 320 x 240 is offered by the
  // profile, and refused before the conversion starts, naming the sizes it
  // takes.
  const std::string out = FDir.path().string();
  const auto r = Convert("-f 'BlackBerry 3GP Video (*.3gp)' --set VideoCodec=H263 --set 'VideoSize=320 x 240' -o " +
                         ShellQuote(out) + " " + ShellQuote(Sample()) + " " + ShellQuote(FDir.file("gone.avi")));
  EXPECT_EQ(r.exitCode, 1) << r.output;
  const size_t line = r.output.find("Fail  " + Sample() + " -> -: ");
  ASSERT_NE(line, std::string::npos) << r.output;
  EXPECT_NE(r.output.find("H263 video cannot be coded at \"320 x 240\"; it takes \"176 x 144\"", line),
            std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("Fail  " + FDir.file("gone.avi")), std::string::npos) << r.output;
}

TEST_F(CliTest, CtrlCOrSigtermStopsTheRunLeavingAPlayableOutputAndSkipsTheRest) {
  const std::string longClip = LongClip();
  for (const auto& [signal, status] : {std::pair{"INT", "130"}, std::pair{"TERM", "143"}}) {
    SCOPED_TRACE(signal);
    const std::string out = FDir.file(std::string("out-") + signal);
    std::filesystem::create_directory(out);
    const std::string log = FDir.file(std::string("log-") + signal);
    // The first progress line shows the conversion is under way; then the signal.
    const std::string script = ShellQuote(kBin) + " -f " + ShellQuote(kMp4) + " --set VideoCodec=H264 --json -o " +
                               ShellQuote(out) + " " + ShellQuote(longClip) + " " + ShellQuote(Sample()) + " > " +
                               ShellQuote(log) + " 2>/dev/null & pid=$!; " +
                               "for i in $(seq 1 400); do grep -q progress " + ShellQuote(log) +
                               " && break; sleep 0.05; done; kill -" + signal + " $pid; wait $pid; echo \"status=$?\"";
    const auto r = RunCommand("bash -c " + ShellQuote(script));
    EXPECT_TRUE(Contains(r.output, std::string("status=") + status)) << r.output;

    const std::string lines = ReadText(log);
    EXPECT_TRUE(Contains(lines, "\"index\":0,\"source\":" + cli::JsonString(longClip) + ",\"output\":" +
                                    cli::JsonString(out + "/long.mp4") + ",\"status\":\"Abort\""))
        << lines;
    // The second file is not converted after the stop, and says so.
    EXPECT_TRUE(Contains(lines, "\"index\":1,\"source\":" + cli::JsonString(Sample()) +
                                    ",\"output\":null,\"status\":\"Skip\""))
        << lines;
    EXPECT_FALSE(std::filesystem::exists(out + "/sample.mp4"));

    const std::string output = out + "/long.mp4";
    const auto probe = test::ProbeFile(output);
    ASSERT_FALSE(probe.empty()) << "the stopped output has no readable trailer";
    EXPECT_GE(test::FindStream(probe, "video"), 0);
    EXPECT_GT(test::CountFrames(output, "video"), 0);
    EXPECT_LT(std::stod(probe.at("format.duration")), 20.0);
  }
}

TEST_F(CliTest, JobsConvertSeveralFilesAtOnceEachResultNamingItsFile) {
  const std::string out = FDir.file("out");
  std::filesystem::create_directory(out);
  std::vector<std::string> sources;
  for (const char* name : {"a.mov", "b.mov", "c.mov", "d.mov"}) sources.push_back(SampleAs(FDir.file(name)));
  std::string files;
  for (const auto& source : sources) files += " " + ShellQuote(source);
  const auto r = ConvertStdout("--json -j 2 --threads 1 -o " + ShellQuote(out) + files);
  ASSERT_EQ(r.exitCode, 0) << r.output;
  for (size_t i = 0; i < sources.size(); ++i) {
    const std::string output = out + "/" + std::filesystem::path(sources[i]).stem().string() + ".mp4";
    EXPECT_TRUE(Contains(r.output, "{\"event\":\"done\",\"index\":" + std::to_string(i) + ",\"source\":" +
                                       cli::JsonString(sources[i]) + ",\"output\":" + cli::JsonString(output) +
                                       ",\"status\":\"Done\""))
        << r.output;
    EXPECT_EQ(test::CountFrames(output, "video"), 25) << output;
    EXPECT_TRUE(HasStream(output, "audio")) << output;
  }
  // Progress names the file too.
  for (const std::string& line : Lines(r.output)) {
    if (!Contains(line, "\"progress\"")) continue;
    EXPECT_TRUE(Contains(line, "\"index\":0,") || Contains(line, "\"index\":1,") ||
                Contains(line, "\"index\":2,") || Contains(line, "\"index\":3,"))
        << line;
  }
  // Converted at once or one after the other, a file gives the same bytes.
  const std::string alone = FDir.file("alone");
  std::filesystem::create_directory(alone);
  ASSERT_EQ(Convert("--threads 1 -o " + ShellQuote(alone) + " " + ShellQuote(sources[2])).exitCode, 0);
  EXPECT_EQ(ReadText(alone + "/c.mp4"), ReadText(out + "/c.mp4"));
}

TEST_F(CliTest, ThreadsReachTheCodecsOfEachConversion) {
  // The MPEG-4 encoder codes one slice per codec thread.
  std::string bytes[2];
  for (int i = 0; i < 2; ++i) {
    const std::string out = FDir.file("threads" + std::to_string(i));
    std::filesystem::create_directory(out);
    const auto r = Convert("--threads " + std::string(i == 0 ? "1" : "3") + " -o " + ShellQuote(out) + " " +
                           ShellQuote(Sample()));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    bytes[i] = ReadText(out + "/sample.mp4");
  }
  EXPECT_FALSE(bytes[0].empty());
  EXPECT_NE(bytes[0], bytes[1]);
  // One file with -j 2 has the machine to itself, as without -j.
  std::string alone[2];
  for (int i = 0; i < 2; ++i) {
    const std::string out = FDir.file("alone" + std::to_string(i));
    std::filesystem::create_directory(out);
    const auto r = Convert(std::string(i == 0 ? "" : "-j 2 ") + "-o " + ShellQuote(out) + " " + ShellQuote(Sample()));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    alone[i] = ReadText(out + "/sample.mp4");
  }
  EXPECT_FALSE(alone[0].empty());
  EXPECT_TRUE(alone[0] == alone[1]) << "-j 2 changed the file of a single source";
}

TEST_F(CliTest, CtrlCStopsEveryConversionOfABatch) {
  const std::string longClip = LongClip();
  const std::string second = FDir.file("second.mov");
  std::filesystem::copy_file(longClip, second);
  const std::string out = FDir.file("out");
  std::filesystem::create_directory(out);
  const std::string log = FDir.file("log");
  // Both long files report progress; then Ctrl-C.
  const std::string script =
      ShellQuote(kBin) + " -j 2 --set VideoCodec=H264 --json -o " + ShellQuote(out) + " " + ShellQuote(longClip) +
      " " + ShellQuote(second) + " " + ShellQuote(Sample()) + " > " + ShellQuote(log) + " 2>/dev/null & pid=$!; " +
      "for i in $(seq 1 600); do grep -q 'progress\",\"index\":0' " + ShellQuote(log) +
      " && grep -q 'progress\",\"index\":1' " + ShellQuote(log) +
      " && break; sleep 0.05; done; kill -INT $pid; wait $pid; echo \"status=$?\"";
  const auto r = RunCommand("bash -c " + ShellQuote(script));
  EXPECT_TRUE(Contains(r.output, "status=130")) << r.output;
  const std::string lines = ReadText(log);
  for (int i = 0; i < 2; ++i)
    EXPECT_TRUE(Contains(lines, "\"index\":" + std::to_string(i) + ",\"source\":" +
                                    cli::JsonString(i == 0 ? longClip : second) + ",\"output\":" +
                                    cli::JsonString(out + (i == 0 ? "/long.mp4" : "/second.mp4")) +
                                    ",\"status\":\"Abort\""))
        << lines;
  EXPECT_TRUE(Contains(lines, "\"index\":2,\"source\":" + cli::JsonString(Sample()) +
                                  ",\"output\":null,\"status\":\"Skip\""))
      << lines;
  EXPECT_FALSE(std::filesystem::exists(out + "/sample.mp4"));
  EXPECT_GT(test::CountFrames(out + "/second.mp4", "video"), 0);
}

TEST_F(CliTest, EachResultLineComesAsSoonAsItsFileEnds) {
  const std::string longClip = LongClip();
  const std::string log = FDir.file("log.txt");
  // While the second file converts, the first one's line is already there.
  const std::string script = ShellQuote(kBin) + " -f mp4 --set VideoCodec=H264 -o " + ShellQuote(FDir.path().string()) +
                             " " + ShellQuote(Sample()) + " " + ShellQuote(longClip) + " > " + ShellQuote(log) +
                             " 2>/dev/null & pid=$!; for i in $(seq 1 400); do grep -q Done " + ShellQuote(log) +
                             " && { kill -0 $pid && echo running; break; }; sleep 0.05; done; kill -TERM $pid; wait $pid";
  const auto r = RunCommand("bash -c " + ShellQuote(script));
  EXPECT_TRUE(Contains(r.output, "running")) << r.output;
  EXPECT_TRUE(Contains(ReadText(log), "Done  " + Sample() + " -> ")) << ReadText(log);
}

TEST_F(CliTest, ProgressIsPlainLinesWhenStderrIsNoTerminal) {
  const std::string errors = FDir.file("stderr.txt");
  const auto r = RunCommand("{ " + ShellQuote(kBin) + " -f mp3 -o " + ShellQuote(FDir.path().string()) + " " +
                            ShellQuote(Sample()) + " 2>" + ShellQuote(errors) + "; }");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const std::string text = ReadText(errors);
  EXPECT_TRUE(Contains(text, "[1/1] sample.mp4 ")) << text;
  EXPECT_TRUE(Contains(text, "%")) << text;
  EXPECT_FALSE(Contains(text, "\r") || Contains(text, "\033")) << text;
  EXPECT_FALSE(Contains(text, "frame")) << "an audio-only output has no frames: " << text;
}

TEST_F(CliTest, OnATerminalTheBarReachesOneHundredPercentOnDone) {
  // script(1) gives the command a terminal.
  const std::string command = ShellQuote(kBin) + " -f mp4 -o " + ShellQuote(FDir.path().string()) + " " +
                              ShellQuote(Sample());
  const auto r = RunCommand("script -qec " + ShellQuote(command) + " /dev/null");
  const size_t done = r.output.find("Done  ");
  ASSERT_NE(done, std::string::npos) << r.output;
  const std::string beforeDone = r.output.substr(0, done);
  const size_t lastBar = beforeDone.rfind('[', beforeDone.rfind(']'));
  ASSERT_NE(lastBar, std::string::npos) << r.output;
  EXPECT_TRUE(Contains(beforeDone.substr(beforeDone.rfind('\r', lastBar)), "] 100%")) << beforeDone;
}

TEST(CliLines, ProgressLineCutsTheLabelOnCharactersAndShowsNoFrameCountForAudio) {
  const std::string label = "[1/1] \xE2\x82\xAC-" + std::string(20, 'x') + "-\xC3\xA9\xC3\xA9\xE2\x82\xAC\xE2\x82\xAC.mp4";
  cli::TProgressFigures figures;
  figures.Frame = 120;
  figures.CurrentMs = 500;
  figures.TotalMs = 1000;
  figures.Size = 2000;
  figures.ElapsedSeconds = 1;
  for (int width = 60; width <= 110; ++width) {
    const std::string line = cli::ProgressLine(label, figures, width);
    EXPECT_TRUE(ValidUtf8(line)) << width << ": " << line;
  }
  figures.Frame = -1;
  EXPECT_FALSE(Contains(cli::ProgressLine("song.mp3", figures, 100), "frame"));
  EXPECT_FALSE(Contains(cli::PlainProgressLine("song.mp3", figures), "frame"));
}

TEST(CliLines, ReasonsShowNoMemoryAddress) {
  EXPECT_EQ(cli::ReasonForPeople("Error while opening codec ([wmav2 @ 7FEBC63FFD20]Invalid sample rate)"),
            "Error while opening codec (wmav2: Invalid sample rate)");
  EXPECT_EQ(cli::ReasonForPeople("[h263 @ 0x55d0c0ffee00] picture size 320x240 is invalid"),
            "h263: picture size 320x240 is invalid");
  EXPECT_EQ(cli::ReasonForPeople("[1/2] clip @ home"), "[1/2] clip @ home");
}

TEST_F(CliTest, JsonLinesParseAndCarryTheDocumentedFields) {
  // An audio-only output: the progress has no frame figures.
  const std::string out = FDir.path().string();
  const std::string command = "{ " + ShellQuote(kBin) + " --json -f mp3 -o " + ShellQuote(out) + " " +
                              ShellQuote(Sample()) + " " + ShellQuote(FDir.file("missing.avi")) +
                              " 2>/dev/null; echo \"status=$?\" > " + ShellQuote(FDir.file("status")) + "; }";
  const std::string checker =
      "import json,os,sys\n"
      "lines=[json.loads(l) for l in sys.stdin]\n"
      "progress=[l for l in lines if l['event']=='progress']\n"
      "done=[l for l in lines if l['event']=='done']\n"
      "assert progress, 'no progress line'\n"
      "for p in progress:\n"
      "  assert set(p)=={'event','index','frame','fps','time_ms','quality','bitrate_kbps','size','total_ms'}, p\n"
      "  assert p['index']==0 and p['total_ms']>0 and p['size']>0, p\n"
      "  assert p['frame'] is None and p['fps'] is None and p['quality'] is None, p\n"
      "  assert 0<=p['time_ms']<=p['total_ms'], p\n"
      "assert len(done)==2, done\n"
      "for d in done:\n"
      "  assert set(d)=={'event','index','source','output','status','message','size','duration_ms'}, d\n"
      "assert done[0]['status']=='Done' and done[0]['message']=='', done[0]\n"
      "assert done[0]['size']==os.path.getsize(done[0]['output']), done[0]\n"
      "assert 900<=done[0]['duration_ms']<=1100, done[0]\n"
      "assert done[1]['status']=='Fail' and 'missing.avi' in done[1]['message'], done[1]\n"
      "assert done[1]['index']==1 and done[1]['output'] is None, done[1]\n"
      "assert done[1]['size'] is None and done[1]['duration_ms'] is None, done[1]\n"
      "print('json ok')\n";
  const auto r = RunCommand(command + " | python3 -c " + ShellQuote(checker));
  EXPECT_NE(r.output.find("json ok"), std::string::npos) << r.output;
  EXPECT_EQ(ReadText(FDir.file("status")), "status=1\n");
}

TEST_F(CliTest, ProbeShowsTheRowTextsAndTheFigures) {
  auto r = ConvertStdout("--probe " + ShellQuote(Sample()));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  for (const char* line : {"  Video Size: 160x120", "  Frame Rate: 25", "  Duration: 00:00:01",
                           "  Streams: 2 (video 1, audio 1, subtitle 0)", "  Width: 160", "  Height: 120",
                           "  Frame Rate (num/den): 25/1", "  Display Aspect: 1.3333"})
    EXPECT_NE(r.output.find(line), std::string::npos) << line << "\n" << r.output;

  const std::string checker =
      "import json,sys\n"
      "a,b=[json.loads(l) for l in sys.stdin]\n"
      "assert a['ok'] is True and a['video_size']=='160x120' and a['frame_rate']=='25', a\n"
      "assert a['duration']=='00:00:01' and a['width']==160 and a['height']==120, a\n"
      "assert a['video_streams']==1 and a['audio_streams']==1 and 900000<=a['duration_us']<=1100000, a\n"
      "assert a['frame_rate_num']==25 and a['frame_rate_den']==1, a\n"
      "assert b['ok'] is False and 'missing.avi' in b['error'], b\n"
      "print('probe ok')\n";
  r = RunCommand("{ " + ShellQuote(kBin) + " --probe --json " + ShellQuote(Sample()) + " " +
                 ShellQuote(FDir.file("missing.avi")) + " 2>/dev/null; echo \"status=$?\" > " + ShellQuote(FDir.file("status")) + "; } | python3 -c " +
                 ShellQuote(checker));
  EXPECT_NE(r.output.find("probe ok"), std::string::npos) << r.output;
  EXPECT_EQ(ReadText(FDir.file("status")), "status=1\n");
}

TEST_F(CliTest, EngineModeTakesTheEngineVocabularyInOrder) {
  const std::string output = FDir.file("engine.avi");
  auto r = Convert("--engine -i " + ShellQuote(Sample()) + " -vcodec mpeg4 -s 96x64 -an -y " + ShellQuote(output));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const auto probe = test::ProbeFile(output);
  const int v = test::FindStream(probe, "video");
  ASSERT_GE(v, 0);
  EXPECT_EQ(test::StreamValue(probe, v, "width"), "96");
  EXPECT_EQ(test::FindStream(probe, "audio"), -1);
  EXPECT_NE(r.output.find("Do nothing: option - y"), std::string::npos) << r.output;

  r = Convert("--engine -threads 2 -i " + ShellQuote(Sample()) + " " + ShellQuote(FDir.file("x.avi")));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.output.find("TODO: option - threads"), std::string::npos) << r.output;
  r = Convert("--engine -i " + ShellQuote(FDir.file("missing.avi")) + " " + ShellQuote(FDir.file("x.avi")));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.output.find(FDir.file("missing.avi")), std::string::npos) << r.output;
  r = Convert("--engine -i " + ShellQuote(Sample()) + " -s 97x64 " + ShellQuote(FDir.file("x.avi")));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.output.find("Frame size must be a multiple of 2"), std::string::npos) << r.output;
}

// A few formats convert the sample with their defaults, named as users name
// them (the component's tests convert every format): the default, a short
// name, a part of a display name, and one of each translation.
class CliFewFormats : public CliTest, public ::testing::WithParamInterface<std::pair<std::string, std::string>> {};

TEST_P(CliFewFormats, ConvertsTheSampleWithItsDefaults) {
  const auto& [name, display] = GetParam();
  const TheAVCodec* row = LookupOutputFormat(display);
  ASSERT_NE(row, nullptr);
  const auto r = Convert((name.empty() ? "" : "-f " + ShellQuote(name)) + " -o " + ShellQuote(FDir.path().string()) +
                         " " + ShellQuote(Sample()));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  std::string extension(row->FormatName);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::string output = FDir.file("sample." + extension);
  EXPECT_NE(r.output.find("Done  " + Sample() + " -> " + output), std::string::npos) << r.output;
  const auto probe = test::ProbeFile(output);
  ASSERT_FALSE(probe.empty()) << output << " does not probe";
  EXPECT_GE(test::FindStream(probe, "audio"), 0);
  if (IsAudioOnlyFormat(row->FormatName))
    EXPECT_EQ(test::FindStream(probe, "video"), -1);
  else
    EXPECT_GE(test::FindStream(probe, "video"), 0);
}

INSTANTIATE_TEST_SUITE_P(
    ByName, CliFewFormats,
    ::testing::Values(std::pair<std::string, std::string>{"", "MP4 - MPEG4 Video (*.mp4)"},
                      std::pair<std::string, std::string>{"mp3", "MP3 - Mpeg Layer3 Audio (*.mp3)"},
                      std::pair<std::string, std::string>{"3GP", "3GP - Mobile Video Format (*.3gp)"},
                      std::pair<std::string, std::string>{"ipod touch wide", "iPod Touch Wide Screen (*.mp4)"}),
    [](const auto& info) { return "Row" + std::to_string(LookupOutputFormat(info.param.second)->ProfileId); });

// With -j 2 a file that fails makes the exit status 1 whichever file ends
// last: a missing file first, or among good ones.
TEST_F(CliTest, JobsExitWithOneWhenAnyFileFails) {
  const std::string missing = ShellQuote(FDir.file("missing.mp4"));
  const std::string good = ShellQuote(SampleAs(FDir.file("good.mov")));
  const std::string other = ShellQuote(SampleAs(FDir.file("other.mov")));
  const std::string runs[] = {missing + " " + good, good + " " + missing + " " + other};
  for (size_t i = 0; i < std::size(runs); ++i) {
    const std::string& files = runs[i];
    const std::string out = FDir.file("out" + std::to_string(i));
    std::filesystem::create_directory(out);
    const auto r = Convert("-j 2 -o " + ShellQuote(out) + " " + files);
    EXPECT_EQ(r.exitCode, 1) << files << "\n" << r.output;
    EXPECT_TRUE(HasStream(out + "/good.mp4", "video")) << r.output;
  }
}

// A file name with a backslash, quotes, a tab and another control character
// comes out of --json as the same name, read by a JSON parser of its own.
TEST_F(CliTest, JsonNamesFilesWithEscapesAParserReadsBack) {
  const std::string source = SampleAs(FDir.file("a \"quoted\" back\\slash\ttab\x01 name.mov"));
  const std::string out = FDir.file("out");
  std::filesystem::create_directory(out);
  const std::string output = out + "/a \"quoted\" back\\slash\ttab\x01 name.mp4";
  const std::string checker =
      "import json,os,sys\n"
      "lines=[json.loads(l) for l in sys.stdin]\n"
      "done=[l for l in lines if l['event']=='done']\n"
      "assert len(done)==1, lines\n"
      "assert done[0]['status']=='Done', done[0]\n"
      "assert done[0]['source']==sys.argv[1], (done[0]['source'], sys.argv[1])\n"
      "assert done[0]['output']==sys.argv[2], (done[0]['output'], sys.argv[2])\n"
      "assert os.path.getsize(sys.argv[2])==done[0]['size'], done[0]\n"
      "print('names ok')\n";
  const auto r = RunCommand("{ " + ShellQuote(kBin) + " --json -o " + ShellQuote(out) + " " + ShellQuote(source) +
                            " 2>/dev/null; } | python3 -c " + ShellQuote(checker) + " " + ShellQuote(source) + " " +
                            ShellQuote(output));
  EXPECT_NE(r.output.find("names ok"), std::string::npos) << r.output;
}

// A batch holds the files of the conversions running at once, not of all
// its files: sixty files convert under a limit of 40 open files.
TEST_F(CliTest, ABatchLongerThanTheOpenFileLimitConverts) {
  const std::string in = FDir.file("in"), out = FDir.file("out");
  std::filesystem::create_directories(in);
  std::filesystem::create_directories(out);
  std::string files;
  for (int i = 0; i < 60; ++i) files += " " + ShellQuote(SampleAs(in + "/clip" + std::to_string(i) + ".mov"));
  const auto r = RunCommand("ulimit -n 40 && " + ShellQuote(kBin) + " -j 2 -f wav -o " + ShellQuote(out) + files);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out), std::filesystem::directory_iterator()), 60);
}

}  // namespace
}  // namespace fennick
