// fennick-convert against its surroundings: a reader of its output that
// leaves early ("| head -1") and a source pipe that stops sending while the
// writer keeps it open, stopped with Ctrl-C.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "test_support.h"

namespace fennick {
namespace {

using test::Contains;
using test::RunCommand;
using test::ShellQuote;

const std::string kBin = std::string(FENNICK_BIN_DIR) + "/fennick-convert";

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

double Duration(const std::string& path) {
  const auto probe = test::ProbeFile(path);
  const auto found = probe.find("format.duration");
  return found == probe.end() ? -1 : std::atof(found->second.c_str());
}

class SignalsPipes : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    FMedia = std::make_unique<test::TempDir>();
    test::ClipSpec mp4;
    mp4.seconds = 4;
    ASSERT_TRUE(test::MakeClip(Mp4Clip(), mp4));
    test::ClipSpec mkv;
    mkv.seconds = 2;
    mkv.videoCodec = "mpeg2video";
    mkv.audioCodec = "mp2";
    ASSERT_TRUE(test::MakeClip(MkvClip(), mkv));
    // MPEG program streams: the probe reads about five seconds before it
    // is done, so the 2 s clip leaves it waiting and the 10 s one does not.
    test::ClipSpec mpg;
    mpg.width = 160;
    mpg.height = 120;
    mpg.videoCodec = "mpeg1video";
    mpg.audioCodec = "mp2";
    mpg.seconds = 2;
    ASSERT_TRUE(test::MakeClip(ShortMpg(), mpg));
    mpg.seconds = 10;
    ASSERT_TRUE(test::MakeClip(LongMpg(), mpg));
  }
  static void TearDownTestSuite() { FMedia.reset(); }

  static std::string Mp4Clip() { return FMedia->file("first.mp4"); }
  static std::string MkvClip() { return FMedia->file("second.mkv"); }
  static std::string ShortMpg() { return FMedia->file("short.mpg"); }
  static std::string LongMpg() { return FMedia->file("long.mpg"); }

  std::string MakeOutputFolder() {
    const std::string out = FDir.file("out");
    std::filesystem::create_directory(out);
    return out;
  }

  // Runs the command on a named pipe "source" in FDir that gets `clip` and
  // then nothing, its writer kept open; `ready` is a shell condition after
  // which Ctrl-C is sent, two seconds later. Prints "status=N", or "hung"
  // when the command is still running 10 s after Ctrl-C (it is then
  // killed). The writer is ended in every case.
  test::CommandResult InterruptOnStalledPipe(const std::string& clip, const std::string& arguments,
                                             const std::string& ready) {
    const std::string fifo = FDir.file("source");
    const std::string script =
        "mkfifo " + ShellQuote(fifo) + " || exit 1; ( cat " + ShellQuote(clip) + "; exec sleep 60 ) > " +
        ShellQuote(fifo) + " & writer=$!; " + ShellQuote(kBin) + " " + arguments + " & pid=$!; " +
        "for i in $(seq 1 200); do " + ready + " && break; sleep 0.05; done; sleep 2; kill -INT $pid; " +
        "for i in $(seq 1 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done; " +
        "if kill -0 $pid 2>/dev/null; then echo hung; kill -KILL $pid; fi; wait $pid; echo \"status=$?\"; " +
        "kill $writer 2>/dev/null; wait $writer 2>/dev/null; true";
    return RunCommand("bash -c " + ShellQuote(script));
  }

  test::TempDir FDir;
  static std::unique_ptr<test::TempDir> FMedia;
};
std::unique_ptr<test::TempDir> SignalsPipes::FMedia;

TEST_F(SignalsPipes, JsonReaderThatLeavesEarlyEndsNoConversion) {
  const std::string out = MakeOutputFolder();
  const std::string status = FDir.file("status");
  const auto r = RunCommand("{ " + ShellQuote(kBin) + " --json -o " + ShellQuote(out) + " " + ShellQuote(Mp4Clip()) +
                            " " + ShellQuote(MkvClip()) + " 2>/dev/null; echo $? > " + ShellQuote(status) +
                            "; } | head -1");
  EXPECT_TRUE(Contains(r.output, "\"event\":")) << r.output;
  EXPECT_EQ(ReadText(status), "0\n");
  for (const auto& [output, seconds] : {std::pair{out + "/first.mp4", 4.0}, std::pair{out + "/second.mp4", 2.0}}) {
    SCOPED_TRACE(output);
    EXPECT_NEAR(Duration(output), seconds, 0.2);
    EXPECT_NEAR(test::CountFrames(output, "video"), seconds * 25, 2);
  }
}

TEST_F(SignalsPipes, EngineLogReaderThatLeavesEarlyEndsNoConversion) {
  const std::string output = FDir.file("engine.mp4");
  const std::string status = FDir.file("status");
  const auto r = RunCommand("{ " + ShellQuote(kBin) + " --engine -i " + ShellQuote(Mp4Clip()) + " " +
                            ShellQuote(output) + " 2>&1; echo $? > " + ShellQuote(status) + "; } | head -1");
  EXPECT_FALSE(r.output.empty());
  EXPECT_EQ(ReadText(status), "0\n");
  EXPECT_NEAR(Duration(output), 4.0, 0.2);
  EXPECT_NEAR(test::CountFrames(output, "video"), 100, 2);
}

TEST_F(SignalsPipes, CtrlCEndsAReadThatWaitsForAStalledPipe) {
  const std::string out = MakeOutputFolder();
  const std::string log = FDir.file("log");
  // Once the output gets data the probe is done; the packets read next
  // drain the pipe.
  const auto r = InterruptOnStalledPipe(LongMpg(),
                                        "--json -o " + ShellQuote(out) + " " + ShellQuote(FDir.file("source")) + " " +
                                            ShellQuote(MkvClip()) + " > " + ShellQuote(log) + " 2>/dev/null",
                                        "[ -n \"$(find " + ShellQuote(out) + " -type f -size +0)\" ]");
  EXPECT_FALSE(Contains(r.output, "hung")) << r.output;
  EXPECT_TRUE(Contains(r.output, "status=130")) << r.output;
  const std::string lines = ReadText(log);
  EXPECT_TRUE(Contains(lines, "\"status\":\"Abort\"")) << lines;
  EXPECT_TRUE(Contains(lines, "\"status\":\"Skip\"")) << lines;
  // What was read is converted, the output closed properly.
  EXPECT_GT(test::CountFrames(out + "/source.mp4", "video"), 0);
  EXPECT_GT(Duration(out + "/source.mp4"), 0);
}

TEST_F(SignalsPipes, CtrlCEndsTheOpeningOfAStalledPipe) {
  const std::string out = MakeOutputFolder();
  const std::string log = FDir.file("log");
  const auto r = InterruptOnStalledPipe(ShortMpg(),
                                        "-o " + ShellQuote(out) + " " + ShellQuote(FDir.file("source")) + " " +
                                            ShellQuote(MkvClip()) + " > " + ShellQuote(log) + " 2>/dev/null",
                                        "true");
  EXPECT_FALSE(Contains(r.output, "hung")) << r.output;
  EXPECT_TRUE(Contains(r.output, "status=130")) << r.output;
  // Stopped before anything was converted: the file is reported as stopped
  // and no output is left.
  const std::string lines = ReadText(log);
  EXPECT_TRUE(Contains(lines, "Abort " + FDir.file("source") + " -> -\n")) << lines;
  EXPECT_TRUE(Contains(lines, "Skip  " + MkvClip() + " -> -\n")) << lines;
  EXPECT_TRUE(std::filesystem::is_empty(out));
}

}  // namespace
}  // namespace fennick
