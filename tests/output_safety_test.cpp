// Files are never lost or mixed: an output appears under its name only when
// complete, a name a running conversion holds is never chosen or replaced by
// another (in this process or another), a batch never names one file twice,
// and an output named before its input never destroys that input.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace fennick {
namespace {

namespace fs = std::filesystem;
using test::Contains;
using test::RunCommand;
using test::ShellQuote;

const std::string kBin = std::string(FENNICK_BIN_DIR) + "/fennick-convert";

// What the ffmpeg command finds wrong while decoding the whole file (empty:
// nothing).
std::string DecodeErrors(const std::string& path) {
  return RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(path) + " -f null - 2>&1").output;
}

double Duration(const std::string& path) {
  const auto probe = test::ProbeFile(path);
  const auto it = probe.find("format.duration");
  return it == probe.end() ? -1 : std::stod(it->second);
}

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class OutputSafety : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(Out);
    test::ClipSpec spec;
    spec.seconds = 4;
    spec.width = 160;
    spec.height = 120;
    ASSERT_TRUE(test::MakeClip(Clip, spec));
  }

  // Starts `fennick-convert --engine -re -i Clip OUTPUT` in the background
  // (it takes the clip's own time) and returns its process id once the file
  // it writes exists in Out.
  std::string StartSlowConversion(const std::string& output) {
    const auto r = RunCommand(ShellQuote(kBin) + " --engine -re -i " + ShellQuote(Clip) + " " + ShellQuote(output) +
                              " >/dev/null 2>&1 & echo $!");
    const std::string pid = r.output.substr(0, r.output.find('\n'));
    RunCommand("for i in $(seq 1 200); do [ -n \"$(ls -A " + ShellQuote(Out) + ")\" ] && break; sleep 0.05; done");
    return pid;
  }
  static void WaitForExit(const std::string& pid) {
    RunCommand("for i in $(seq 1 600); do kill -0 " + pid + " 2>/dev/null || break; sleep 0.05; done");
  }

  test::TempDir Dir;
  const std::string Out = Dir.file("out");
  const std::string Clip = Dir.file("long.mp4");
};

TEST_F(OutputSafety, ANameARunningConversionHoldsIsNeverReplacedEvenWithOverwrite) {
  const std::string pid = StartSlowConversion(Out + "/long.mp4");
  const auto second = RunCommand(ShellQuote(kBin) + " --overwrite -o " + ShellQuote(Out) + " " + ShellQuote(Clip));
  WaitForExit(pid);
  ASSERT_EQ(second.exitCode, 0) << second.output;
  EXPECT_TRUE(Contains(second.output, " -> " + Out + "/long-1.mp4")) << second.output;
  for (const char* name : {"long.mp4", "long-1.mp4"}) {
    EXPECT_EQ(DecodeErrors(Out + "/" + name), "") << name;
    EXPECT_NEAR(Duration(Out + "/" + name), 4.0, 0.2) << name;
  }
}

TEST_F(OutputSafety, AKilledConversionLeavesNoOutputAndItsPartialFileGoesWithTheNextRun) {
  const std::string pid = StartSlowConversion(Out + "/long.mp4");
  RunCommand("sleep 1; kill -9 " + pid);
  WaitForExit(pid);
  const auto left = Entries(Out);
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].front(), '.') << left[0];  // hidden
  EXPECT_TRUE(Contains(left[0], "partial")) << left[0];

  const auto next = RunCommand(ShellQuote(kBin) + " -o " + ShellQuote(Out) + " " + ShellQuote(Clip));
  ASSERT_EQ(next.exitCode, 0) << next.output;
  EXPECT_EQ(Entries(Out), std::vector<std::string>{"long.mp4"});
  EXPECT_EQ(DecodeErrors(Out + "/long.mp4"), "");
}

TEST_F(OutputSafety, ABatchWithOverwriteGivesEveryJobAFileOfItsOwn) {
  std::vector<std::string> sources;
  const char* names[] = {"a/clip.mp4", "b/clip.mkv", "c/clip.avi"};
  for (int i = 0; i < 3; ++i) {
    const std::string source = Dir.file(names[i]);
    fs::create_directories(fs::path(source).parent_path());
    test::ClipSpec spec;
    spec.seconds = i + 1;  // which output holds which source shows in its duration
    spec.width = 160;
    spec.height = 120;
    ASSERT_TRUE(test::MakeClip(source, spec));
    sources.push_back(source);
  }
  const auto r = RunCommand(ShellQuote(kBin) + " -j 2 --overwrite -o " + ShellQuote(Out) + " " +
                            ShellQuote(sources[0]) + " " + ShellQuote(sources[1]) + " " + ShellQuote(sources[2]));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  std::vector<double> durations;
  for (const char* name : {"clip.mp4", "clip-1.mp4", "clip-2.mp4"}) {
    EXPECT_TRUE(Contains(r.output, " -> " + Out + "/" + name + "\n")) << r.output;
    EXPECT_EQ(DecodeErrors(Out + "/" + name), "") << name;
    durations.push_back(Duration(Out + "/" + name));
  }
  std::sort(durations.begin(), durations.end());
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(durations[i], i + 1.0, 0.2);
}

TEST_F(OutputSafety, AnOutputNamedBeforeItsInputNeverDestroysIt) {
  const std::string holiday = Dir.file("holiday.mp4");
  fs::copy_file(Clip, holiday);
  fs::create_hard_link(holiday, Dir.file("link.mp4"));
  const auto size = fs::file_size(holiday);
  for (const std::string& arguments : {ShellQuote(holiday) + " -i " + ShellQuote(holiday),
                                       "-i " + ShellQuote(Clip) + " " + ShellQuote(holiday) + " -i " +
                                           ShellQuote(Dir.file("link.mp4"))}) {
    const auto r = RunCommand(ShellQuote(kBin) + " --engine " + arguments);
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_TRUE(Contains(r.output, "is the same file as input file")) << r.output;
    EXPECT_EQ(fs::file_size(holiday), size);
    EXPECT_EQ(fs::hard_link_count(holiday), 2u);
  }
  EXPECT_EQ(DecodeErrors(holiday), "");
}

}  // namespace
}  // namespace fennick
