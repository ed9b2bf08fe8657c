// Frame-rate sync of re-encoded video: duplicates for a faster output rate or
// a gap in the input, drops for a slower one, neither with "vsync" 0 except
// where a picture's own timestamp would repeat the last one.
#include <regex>

#include "tests/transcode_support.h"

namespace fennick::test {
namespace {

class TranscodeSync : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RequireLibraries();
    Dir = std::make_unique<TempDir>();
    ClipSpec spec;
    spec.seconds = 2;
    spec.audio = false;
    spec.frameRate = "12.5";
    ASSERT_TRUE(MakeClip(Dir->file("rate12.5.mp4"), spec));
    spec.frameRate = "25";
    ASSERT_TRUE(MakeClip(Dir->file("rate25.mp4"), spec));
    // 25 pictures, a 2 s pause, 25 more.
    ASSERT_TRUE(MakeMedia(Dir->file("gap.mp4"),
                          "-f lavfi -i testsrc=size=320x240:rate=25:duration=2 "
                          "-vf setpts='PTS+if(gte(N\\,25)\\,2/TB\\,0)' -fps_mode passthrough -c:v mpeg4"));
  }
  static void TearDownTestSuite() {
    Dir.reset();
  }
  // Dup and drop counts of the last report (verbosity 2 shows them).
  static std::pair<int, int> DupDrop(const TConversion& run) {
    static const std::regex counts(" dup=(\\d+) drop=(\\d+)");
    for (auto it = run.Log.rbegin(); it != run.Log.rend(); ++it) {
      std::smatch m;
      if (std::regex_search(*it, m, counts)) return {std::stoi(m[1]), std::stoi(m[2])};
    }
    return {-1, -1};
  }
  static std::unique_ptr<TempDir> Dir;
};
std::unique_ptr<TempDir> TranscodeSync::Dir;

TEST_F(TranscodeSync, HalfRateInputDuplicatesEveryPicture) {
  const std::string out = Dir->file("dup.avi");
  const TConversion run = Convert(Dir->file("rate12.5.mp4"), out, {{"vcodec", "mpeg4"}, {"r", "25"}, {"v", "3"}});
  ASSERT_FALSE(run.Exception) << run.Message;
  // 25 pictures: the first two once, every later one twice.
  EXPECT_EQ(CountFrames(out, "video"), 48);
  const auto [dup, drop] = DupDrop(run);
  EXPECT_EQ(dup, 2 * 23);  // each duplicated picture counts 2
  EXPECT_EQ(drop, 0);
  EXPECT_TRUE(run.Logged("*** 1 dup!"));
}

TEST_F(TranscodeSync, DoubleRateInputDropsEverySecondPicture) {
  const std::string out = Dir->file("drop.avi");
  const TConversion run = Convert(Dir->file("rate25.mp4"), out, {{"vcodec", "mpeg4"}, {"r", "12.5"}, {"v", "3"}});
  ASSERT_FALSE(run.Exception) << run.Message;
  // The first three pictures pass, then every second one is dropped.
  EXPECT_EQ(CountFrames(out, "video"), 26);
  const auto [dup, drop] = DupDrop(run);
  EXPECT_EQ(dup, 0);
  EXPECT_EQ(drop, 24);
  EXPECT_TRUE(run.Logged("*** drop!"));
}

TEST_F(TranscodeSync, GapInTheInputIsFilledWithDuplicates) {
  const std::string out = Dir->file("gap.avi");
  const TConversion run = Convert(Dir->file("gap.mp4"), out, {{"vcodec", "mpeg4"}, {"r", "25"}});
  ASSERT_FALSE(run.Exception) << run.Message;
  // 25 + 49 duplicates of the picture after the gap + 24 = 4 s at 25 fps.
  EXPECT_EQ(CountFrames(out, "video"), 99);
  const auto probe = ProbeFile(out);
  EXPECT_NEAR(ProbeNumber(probe, "format.duration"), 3.96, 0.05);
}

TEST_F(TranscodeSync, VsyncZeroNeitherDropsNorDuplicates) {
  for (const char* input : {"rate12.5.mp4", "gap.mp4"}) {
    const std::string out = Dir->file(std::string("nosync-") + input + ".mkv");
    const TConversion run =
        Convert(Dir->file(input), out, {{"vcodec", "mpeg4"}, {"r", "25"}, {"vsync", "0"}, {"v", "2"}});
    ASSERT_FALSE(run.Exception) << run.Message;
    EXPECT_EQ(CountFrames(out, "video"), std::string(input) == "gap.mp4" ? 50 : 25) << input;
    EXPECT_EQ(DupDrop(run), std::make_pair(0, 0)) << input;
  }
}

TEST_F(TranscodeSync, InputTimestampsAtALowerRateDropThePicturesThatWouldCollide) {
  for (const char* method : {"0", "2"}) {
    const std::string out = Dir->file(std::string("collide-") + method + ".avi");
    const TConversion run =
        Convert(Dir->file("rate25.mp4"), out, {{"vcodec", "mpeg4"}, {"r", "12.5"}, {"vsync", method}, {"v", "2"}});
    ASSERT_FALSE(run.Exception) << method << ": " << run.Message;
    // 50 pictures at 25 fps on a 12.5 fps clock: positions 0, 1, 1, 2, 2, ...
    // 25 (half-way positions round up); each repeated one is dropped.
    EXPECT_EQ(CountFrames(out, "video"), 26) << method;
    EXPECT_EQ(DupDrop(run), std::make_pair(0, 24)) << method;
  }
}

}  // namespace
}  // namespace fennick::test
