// fennick-convert's output names by pattern, folders given as sources with
// their subfolders kept, and presets of the user's own, each checked on the
// files a run actually writes (ffprobe, the file system) and on the lines
// the command prints. The presets live in a configuration folder of the
// test's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "jobs/job_queue.h"
#include "profiles/output_formats.h"
#include "test_support.h"

namespace fennick {
namespace {

namespace fs = std::filesystem;
using test::Contains;
using test::Lines;
using test::CommandResult;
using test::RunCommand;
using test::ShellQuote;

const std::string kBin = std::string(FENNICK_BIN_DIR) + "/fennick-convert";

// Every file below folder, by its path relative to it.
std::set<std::string> FilesBelow(const fs::path& folder) {
  std::set<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file()) files.insert(fs::relative(entry.path(), folder).string());
  return files;
}

class NamesPresetsCli : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(Out);
    fs::create_directories(Config);
  }
  // fennick-convert with its presets under the test's configuration folder.
  CommandResult Convert(const std::string& arguments) {
    return RunCommand("XDG_CONFIG_HOME=" + ShellQuote(Config) + " " + ShellQuote(kBin) + " " + arguments);
  }
  std::string Clip(const std::string& name) { return test::SmallClip(Dir, name); }
  std::string PresetsFolder() const { return Config + "/fennick/presets"; }
  void WritePresetFile(const std::string& file, const std::string& text) {
    fs::create_directories(PresetsFolder());
    std::ofstream(PresetsFolder() + "/" + file) << text;
  }
  // A preset as the window stores it: MP3 at 64 Kbps, 22050 Hz, mono.
  void WriteSmallAudioPreset() {
    WritePresetFile("Small Audio.json",
                    R"j({"kind":"fennick-preset","version":1,"name":"Small Audio","settings":)j"
                    R"j({"format":"MP3 - Mpeg Layer3 Audio (*.mp3)","items":["","","","","mp3","64 Kbps",)j"
                    R"j("22050 Hz","Mono"],"aspect":0,"volume":256}})j");
  }

  test::TempDir Dir;
  std::string Out = Dir.file("out");
  std::string Config = Dir.file("config");
};

TEST_F(NamesPresetsCli, EveryTokenOfThePatternGoesIntoTheNameOfTheFileWritten) {
  const std::string first = Clip("clip.one.mov"), second = Clip("b.mp4");
  const CommandResult today = RunCommand("date +%F");
  ASSERT_EQ(today.exitCode, 0);
  const std::string date = Lines(today.output).at(0);

  const CommandResult run = Convert("-f avi -o " + ShellQuote(Out) +
                                    " --name '{name}_{ext}_{format}_{width}x{height}_{date}_{n}_{nope}' " +
                                    ShellQuote(first) + " " + ShellQuote(second));
  ASSERT_EQ(run.exitCode, 0) << run.output;

  const std::set<std::string> written = FilesBelow(Out);
  ASSERT_EQ(written.size(), 2u) << run.output;
  const auto probe = test::ProbeFile(Out + "/" + *written.begin());
  const int video = test::FindStream(probe, "video");
  ASSERT_GE(video, 0);
  const std::string size =
      test::StreamValue(probe, video, "width") + "x" + test::StreamValue(probe, video, "height");
  // An unknown token stays as it is.
  EXPECT_EQ(written, (std::set<std::string>{"clip.one_mov_avi_" + size + "_" + date + "_1_{nope}.avi",
                                            "b_mp4_avi_" + size + "_" + date + "_2_{nope}.avi"}));

  // An output without a picture has no size: the size goes with the text
  // that joins it, not a stray "x".
  const CommandResult audio = Convert("-f mp3 -o " + ShellQuote(Out) + " --name '{name}_{width}x{height}_{format}' " +
                                      ShellQuote(second));
  ASSERT_EQ(audio.exitCode, 0) << audio.output;
  EXPECT_TRUE(fs::exists(Out + "/b_mp3.mp3")) << audio.output;
}

TEST_F(NamesPresetsCli, UnsafeTextIsReplacedAndEveryNameStaysAUsableFileInTheOutputFolder) {
  const std::string source = Clip("b.mp4");
  std::string accents;
  // Three bytes a character: a cut at 230 bytes would end inside one.
  for (int i = 0; i < 100; ++i) accents += "\xE2\x82\xAC";  // 300 bytes of euro signs

  for (const std::string& pattern : {std::string("../{name}/x"), std::string(".."), accents}) {
    const CommandResult run = Convert("-f mp3 -o " + ShellQuote(Out) + " --name " + ShellQuote(pattern) + " " +
                                      ShellQuote(source));
    EXPECT_EQ(run.exitCode, 0) << pattern << "\n" << run.output;
  }
  // Nothing outside the output folder.
  for (const std::string& file : FilesBelow(Dir.path())) {
    if (fs::path(file).extension() != ".mp3") continue;
    EXPECT_EQ(file.rfind("out/", 0), 0u) << file;
  }
  const std::set<std::string> written = FilesBelow(Out);
  ASSERT_EQ(written.size(), 3u);
  EXPECT_TRUE(written.count(".._b_x.mp3"));
  EXPECT_TRUE(written.count("_.mp3"));
  std::string cut;
  for (const std::string& name : written)
    if (name.rfind("\xE2\x82\xAC", 0) == 0) cut = name;
  ASSERT_FALSE(cut.empty());
  // Cut to fit one name, at a character's boundary, the extension kept.
  EXPECT_LE(cut.size(), 255u);
  EXPECT_LT(cut.size(), accents.size());
  EXPECT_EQ(cut.substr(cut.size() - 4), ".mp3");
  EXPECT_EQ((cut.size() - 4) % 3, 0u) << "a character was cut";
}

TEST_F(NamesPresetsCli, ANameThePatternGivesTwiceGetsTheNumberRule) {
  const std::string a = Clip("a.mp4"), b = Clip("b.mp4");
  std::ofstream(Out + "/same.mp3") << "earlier";

  const CommandResult run = Convert("-f mp3 -o " + ShellQuote(Out) + " --name same " + ShellQuote(a) + " " +
                                    ShellQuote(b));
  ASSERT_EQ(run.exitCode, 0) << run.output;

  EXPECT_EQ(FilesBelow(Out), (std::set<std::string>{"same.mp3", "same-1.mp3", "same-2.mp3"}));
  std::ifstream earlier(Out + "/same.mp3");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(earlier), {}), "earlier");
}

TEST_F(NamesPresetsCli, AFolderGivesItsMediaFilesInNameOrderAndKeepFoldersMakesItsSubfoldersAgain) {
  const std::string tree = Dir.file("tree");
  Clip("tree/b.mp4");
  Clip("tree/sub/a.mov");
  Clip("tree/sub/deeper/c.mkv");
  std::ofstream(tree + "/notes.txt") << "not media\n";

  const CommandResult run = Convert("-f mp3 --keep-folders -o " + ShellQuote(Out) + " " + ShellQuote(tree));
  ASSERT_EQ(run.exitCode, 0) << run.output;

  EXPECT_EQ(FilesBelow(Out), (std::set<std::string>{"b.mp3", "sub/a.mp3", "sub/deeper/c.mp3"}));
  std::vector<std::string> done;
  for (const std::string& line : Lines(run.output))
    if (line.rfind("Done", 0) == 0) done.push_back(line);
  ASSERT_EQ(done.size(), 3u) << run.output;
  EXPECT_TRUE(Contains(done[0], "tree/b.mp4"));
  EXPECT_TRUE(Contains(done[1], "tree/sub/a.mov"));
  EXPECT_TRUE(Contains(done[2], "tree/sub/deeper/c.mkv"));
  EXPECT_EQ(test::FindStream(test::ProbeFile(Out + "/sub/deeper/c.mp3"), "audio"), 0);
}

TEST_F(NamesPresetsCli, APresetConvertsWithItsFormatAndItemsAndADamagedOneIsSkippedWithAMessage) {
  const std::string source = Clip("b.mp4");
  WriteSmallAudioPreset();
  WritePresetFile("Broken.json", "{\"kind\":\"fennick-preset\",");
  // Whole, but with a volume no control offers: it would clip every sample.
  WritePresetFile("Loud.json",
                  R"j({"kind":"fennick-preset","version":1,"name":"Loud","settings":)j"
                  R"j({"format":"MP3 - Mpeg Layer3 Audio (*.mp3)","items":["","","","","mp3","64 Kbps",)j"
                  R"j("22050 Hz","Mono"],"aspect":0,"volume":2147483647}})j");

  // Named in any case, as formats are.
  const CommandResult run = Convert("--preset 'small audio' -o " + ShellQuote(Out) + " " + ShellQuote(source));
  ASSERT_EQ(run.exitCode, 0) << run.output;

  EXPECT_TRUE(Contains(run.output, "Broken.json\" is damaged")) << run.output;
  EXPECT_TRUE(Contains(run.output, "Loud.json\" is damaged: its volume 2147483647 is outside 0 to 600; skipped"))
      << run.output;
  const CommandResult loud = Convert("--preset Loud -o " + ShellQuote(Out) + " " + ShellQuote(source));
  EXPECT_EQ(loud.exitCode, 2) << loud.output;
  const auto probe = test::ProbeFile(Out + "/b.mp3");
  const int audio = test::FindStream(probe, "audio");
  ASSERT_GE(audio, 0) << run.output;
  EXPECT_EQ(test::FindStream(probe, "video"), -1);
  EXPECT_EQ(test::StreamValue(probe, audio, "codec_name"), "mp3");
  EXPECT_EQ(test::StreamValue(probe, audio, "sample_rate"), "22050");
  EXPECT_EQ(test::StreamValue(probe, audio, "channels"), "1");
  EXPECT_EQ(test::StreamValue(probe, audio, "bit_rate"), "64000");

  const CommandResult unknown = Convert("--preset Nothing -o " + ShellQuote(Out) + " " + ShellQuote(source));
  EXPECT_EQ(unknown.exitCode, 2);
  EXPECT_TRUE(Contains(unknown.output, "no preset \"Nothing\"")) << unknown.output;
  EXPECT_TRUE(Contains(unknown.output, "\"Small Audio\"")) << unknown.output;
}

TEST_F(NamesPresetsCli, ListFormatsListsThePresetsAfterTheCatalogue) {
  WriteSmallAudioPreset();

  const CommandResult run = RunCommand("XDG_CONFIG_HOME=" + ShellQuote(Config) + " " + ShellQuote(kBin) +
                                       " --list-formats 2>/dev/null");
  ASSERT_EQ(run.exitCode, 0) << run.output;

  const std::vector<std::string> lines = Lines(run.output);
  const std::vector<std::string>& catalogue = OfferedOutputFormats();
  ASSERT_EQ(lines.size(), catalogue.size() + 2) << run.output;
  EXPECT_TRUE(std::equal(catalogue.begin(), catalogue.end(), lines.begin()));
  EXPECT_EQ(lines[catalogue.size()], "Presets:");
  EXPECT_EQ(lines[catalogue.size() + 1], "Small Audio");
}

TEST(PinnedRowsInTheQueueFile, APinAndASubfolderAreWrittenOnlyWhereSetAndReadBack) {
  test::TempDir dir;
  TJobQueue queue;
  TQueuedJob pinned;
  pinned.Source = "/films/a.mp4";
  pinned.Settings = TJobSettings{"MP3 - Mpeg Layer3 Audio (*.mp3)", {"", "", "", "", "mp3", "64 Kbps", "22050 Hz", "Mono", ""}};
  pinned.Pinned = true;
  pinned.Subfolder = "2019/june";
  queue.Add(pinned);
  queue.Add(TQueuedJob{0, "/films/b.mp4"});
  const std::string file = dir.file("queue.json");
  std::string error;
  ASSERT_TRUE(queue.Save(file, error)) << error;

  const CommandResult read = RunCommand(
      "python3 -c 'import json,sys; j=json.load(open(sys.argv[1]))[\"jobs\"]; "
      "print([(x.get(\"pinned\"), x.get(\"subfolder\"), x.get(\"settings\", {}).get(\"format\")) for x in j])' " +
      ShellQuote(file));
  EXPECT_EQ(read.output,
            "[(True, '2019/june', 'MP3 - Mpeg Layer3 Audio (*.mp3)'), (None, None, None)]\n");

  const auto loaded = TJobQueue::Load(file, error);
  ASSERT_TRUE(loaded) << error;
  EXPECT_TRUE(loaded->At(0).Pinned);
  EXPECT_EQ(loaded->At(0).Subfolder, "2019/june");
  EXPECT_FALSE(loaded->At(1).Pinned);
  EXPECT_EQ(*loaded, queue);
}

}  // namespace
}  // namespace fennick
