// fennick-convert run as a user runs it: listing, usage errors, the naming
// rule, failing files beside good ones, Ctrl-C, JSON lines, the probe, the
// engine mode, and every offered format converting a generated sample.
#include <gtest/gtest.h>

#include <memory>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "profiles/output_formats.h"
#include "profiles/profile_translation.h"
#include "test_support.h"

namespace fennick {
namespace {

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

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
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
  EXPECT_EQ(Lines(r.output).size(), 56u);
}

TEST_F(CliTest, HelpDocumentsEveryCommand) {
  const auto r = Convert("--help");
  EXPECT_EQ(r.exitCode, 0);
  for (const char* word : {"--list-formats", "--probe", "--engine", "--set", "--aspect", "--volume", "--json",
                           "--overwrite", "Abort", "130"})
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
      {"--volume 11 " + sample, "--volume takes a position from 0"},
      {"--volume x " + sample, "--volume takes a position from 0"},
      {"--aspect 5:4 " + sample, "--aspect takes Original, 4:3 or 16:9"},
      {"--set Colour=red " + sample, "unknown control \"Colour\""},
      {"--set VideoSize " + sample, "--set takes CONTROL=ITEM"},
      {"-f 'No Such Format' " + sample, "unknown output format \"No Such Format\""},
      {"-o " + ShellQuote(FDir.file("missing-folder")) + " " + sample, "does not exist"},
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

TEST_F(CliTest, SetRefusesAnItemTheProfileDoesNotOfferAndListsTheValidOnes) {
  const auto r = Convert("-f " + ShellQuote(kMp4) + " --set 'VideoSize=999 x 999' -o " +
                         ShellQuote(FDir.path().string()) + " " + ShellQuote(Sample()));
  EXPECT_EQ(r.exitCode, 2) << r.output;
  EXPECT_NE(r.output.find("does not offer \"999 x 999\""), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("valid items: \"Original Video Size\""), std::string::npos) << r.output;
  EXPECT_TRUE(std::filesystem::is_empty(FDir.path()));
}

TEST_F(CliTest, SetChoosesAnOfferedItem) {
  const auto r = Convert("-f " + ShellQuote(kMp4) + " --set 'VideoSize=320 x 240 (VGA)' -o " +
                         ShellQuote(FDir.path().string()) + " " + ShellQuote(Sample()));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const auto probe = test::ProbeFile(FDir.file("sample.mp4"));
  const int v = test::FindStream(probe, "video");
  ASSERT_GE(v, 0);
  EXPECT_EQ(test::StreamValue(probe, v, "width"), "320");
  EXPECT_EQ(test::StreamValue(probe, v, "height"), "240");
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

TEST_F(CliTest, OverwriteNeverReplacesTheSourceItself) {
  const std::string clip = SampleAs(FDir.file("clip.mp4"));
  const auto before = std::filesystem::file_size(clip);
  const auto r = Convert("-f " + ShellQuote(kMp4) + " --overwrite -o " + ShellQuote(FDir.path().string()) + " " +
                         ShellQuote(clip));
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_NE(r.output.find("Fail  " + clip), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("would replace its own source"), std::string::npos) << r.output;
  EXPECT_EQ(std::filesystem::file_size(clip), before);
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
  EXPECT_NE(r.output.find("Fail  " + missing + " -> " + out + "/missing.mp4: " + missing), std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("Fail  " + text + " -> " + out + "/notes.mp4: " + text), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("Done  " + last), std::string::npos) << r.output;
  EXPECT_TRUE(HasStream(out + "/first.mp4", "video"));
  EXPECT_TRUE(HasStream(out + "/last.mp4", "video"));
}

TEST_F(CliTest, AnEncoderThatRefusesTheChosenSettingsFailsWithItsReason) {
  // H.263 only takes its standard picture sizes; 320 x 240 is offered by the
  // profile but refused when the encoder opens.
  const std::string out = FDir.path().string();
  const auto r = Convert("-f 'BlackBerry 3GP Video (*.3gp)' --set VideoCodec=H263 --set 'VideoSize=320 x 240' -o " +
                         ShellQuote(out) + " " + ShellQuote(Sample()) + " " + ShellQuote(FDir.file("gone.avi")));
  EXPECT_EQ(r.exitCode, 1) << r.output;
  const size_t line = r.output.find("Fail  " + Sample() + " -> " + out + "/sample.3gp: ");
  ASSERT_NE(line, std::string::npos) << r.output;
  EXPECT_NE(r.output.find("Error while opening codec", line), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("Fail  " + FDir.file("gone.avi")), std::string::npos) << r.output;
}

TEST_F(CliTest, CtrlCStopsTheRunLeavingAPlayableOutputAndAbort) {
  test::ClipSpec spec;
  spec.seconds = 20;
  spec.width = 640;
  spec.height = 480;
  const std::string longClip = FDir.file("long.mov");
  ASSERT_TRUE(test::MakeClip(longClip, spec));
  const std::string out = FDir.path().string() + "/out";
  std::filesystem::create_directory(out);
  const std::string log = FDir.file("log.txt");
  // The first progress line shows the conversion is under way; then Ctrl-C.
  const std::string script = ShellQuote(kBin) + " -f " + ShellQuote(kMp4) + " --set VideoCodec=H264 --json -o " +
                             ShellQuote(out) + " " + ShellQuote(longClip) + " " + ShellQuote(Sample()) + " > " +
                             ShellQuote(log) + " 2>/dev/null & pid=$!; " +
                             "for i in $(seq 1 400); do grep -q progress " + ShellQuote(log) +
                             " && break; sleep 0.05; done; kill -INT $pid; wait $pid; echo \"status=$?\"";
  const auto r = RunCommand("bash -c " + ShellQuote(script));
  EXPECT_NE(r.output.find("status=130"), std::string::npos) << r.output;

  const std::string lines = ReadText(log);
  EXPECT_NE(lines.find("\"status\":\"Abort\""), std::string::npos) << lines;
  // The second file is not converted after the stop.
  EXPECT_EQ(lines.find("\"index\":1"), std::string::npos) << lines;
  EXPECT_FALSE(std::filesystem::exists(out + "/sample.mp4"));

  const std::string output = out + "/long.mp4";
  const auto probe = test::ProbeFile(output);
  ASSERT_FALSE(probe.empty()) << "the stopped output has no readable trailer";
  EXPECT_GE(test::FindStream(probe, "video"), 0);
  EXPECT_GT(test::CountFrames(output, "video"), 0);
  EXPECT_LT(std::stod(probe.at("format.duration")), 20.0);
}

TEST_F(CliTest, JsonLinesParseAndCarryTheDocumentedFields) {
  const std::string out = FDir.path().string();
  const std::string command = "{ " + ShellQuote(kBin) + " --json -f " + ShellQuote(kMp4) + " -o " + ShellQuote(out) +
                              " " + ShellQuote(Sample()) + " " + ShellQuote(FDir.file("missing.avi")) +
                              " 2>/dev/null; echo \"status=$?\" > " + ShellQuote(FDir.file("status")) + "; }";
  const std::string checker =
      "import json,sys\n"
      "lines=[json.loads(l) for l in sys.stdin]\n"
      "progress=[l for l in lines if l['event']=='progress']\n"
      "done=[l for l in lines if l['event']=='done']\n"
      "assert progress, 'no progress line'\n"
      "for p in progress:\n"
      "  assert set(p)=={'event','index','frame','fps','time_ms','quality','bitrate_kbps','size','total_ms'}, p\n"
      "  assert p['index']==0 and p['total_ms']>0 and p['size']>0, p\n"
      "assert len(done)==2, done\n"
      "for d in done: assert {'event','source','output','status','message'} <= set(d), d\n"
      "assert done[0]['status']=='Done' and done[0]['message']=='', done[0]\n"
      "assert done[1]['status']=='Fail' and 'missing.avi' in done[1]['message'], done[1]\n"
      "assert done[1]['index']==1 and done[1]['output'].endswith('/missing.mp4'), done[1]\n"
      "print('json ok')\n";
  const auto r = RunCommand(command + " | python3 -c " + ShellQuote(checker));
  EXPECT_NE(r.output.find("json ok"), std::string::npos) << r.output;
  EXPECT_EQ(ReadText(FDir.file("status")), "status=1\n");
  // Also the brief checker on its own.
  const auto plain = RunCommand(command + " | python3 -c 'import json,sys; [json.loads(l) for l in sys.stdin]'");
  EXPECT_EQ(plain.output.find("Error"), std::string::npos) << plain.output;
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

// Every entry of the format list converts the sample with its defaults.
class CliEveryFormat : public CliTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(CliEveryFormat, ConvertsTheSampleWithItsDefaults) {
  const TheAVCodec* row = LookupOutputFormat(GetParam());
  ASSERT_NE(row, nullptr);
  const auto r = Convert("-f " + ShellQuote(GetParam()) + " -o " + ShellQuote(FDir.path().string()) + " " +
                         ShellQuote(Sample()));
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

std::string RowName(const ::testing::TestParamInfo<std::string>& info) {
  return "Row" + std::to_string(LookupOutputFormat(info.param)->ProfileId);
}

INSTANTIATE_TEST_SUITE_P(EveryOfferedRow, CliEveryFormat, ::testing::ValuesIn(OfferedOutputFormats()), RowName);

}  // namespace
}  // namespace fennick
