// Set-up refusals with their exact messages, and broken inputs that must end
// in a clean error or a shorter output, never a crash or a hang.
#include <filesystem>
#include <fstream>
#include <random>

#include "tests/transcode_support.h"

namespace fennick::test {
namespace {

class TranscodeErrors : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RequireLibraries();
    Dir = std::make_unique<TempDir>();
    ClipSpec spec;
    spec.seconds = 2;
    ASSERT_TRUE(MakeClip(Dir->file("clip.mp4"), spec));
    spec.extra = "-f mpeg";
    spec.videoCodec = "mpeg1video";
    spec.audioCodec = "mp2";
    ASSERT_TRUE(MakeClip(Dir->file("clip.mpg"), spec));
  }
  static void TearDownTestSuite() {
    Dir.reset();
  }
  static void WriteGarbage(std::ofstream& out, size_t bytes) {
    std::mt19937 random(7);
    for (size_t i = 0; i < bytes; ++i) out.put(static_cast<char>(random() & 0xFF));
  }
  static std::unique_ptr<TempDir> Dir;
};
std::unique_ptr<TempDir> TranscodeErrors::Dir;

TEST_F(TranscodeErrors, SetUpRefusalsCarryTheirMessages) {
  struct TCase {
    TOptionList Options;
    std::string Message;
  };
  const std::vector<TCase> cases = {
      {{{"vcodec", "mpeg4"}, {"acodec", "aac"}, {"map", "0.0"}},
       "Number of stream maps must match number of output streams"},
      {{{"vcodec", "mpeg4"}, {"an", "1"}, {"map", "0.5"}}, "Could not find input stream #0.5"},
      {{{"vcodec", "mpeg4"}, {"an", "1"}, {"map", "0.0:0.7"}}, "Could not find sync stream #0.7"},
      {{{"vcodec", "mpeg4"}, {"an", "1"}, {"map", "0.1"}}, "Codec type mismatch for mapping #0.1 -> #0.0"},
      {{{"vn", "1"}, {"acodec", "copy"}, {"vol", "300"}},
       "-acodec copy and -vol are incompatible (frames are not decoded)"},
      {{{"vcodec", "mpeg4"}, {"an", "1"}, {"map_meta_data", "3:0"}}, "Invalid output file index 3 map_meta_data(3,0)"},
  };
  for (const TCase& c : cases) {
    const std::string out = Dir->file("refused.mp4");
    const TConversion run = Convert(Dir->file("clip.mp4"), out, c.Options);
    ASSERT_TRUE(run.Added) << run.Message;
    EXPECT_TRUE(run.Exception) << c.Message;
    EXPECT_EQ(run.Message, c.Message);
    EXPECT_FALSE(std::filesystem::exists(out)) << "an empty output is removed";
  }
}

TEST_F(TranscodeErrors, AudioCopyWithTheDefaultVolumeSucceeds) {
  const TConversion run =
      Convert(Dir->file("clip.mp4"), Dir->file("acopy.m4a"), {{"vn", "1"}, {"acodec", "copy"}, {"vol", "256"}});
  ASSERT_FALSE(run.Exception) << run.Message;
  EXPECT_GT(CountFrames(Dir->file("acopy.m4a"), "audio"), 80);
}

TEST_F(TranscodeErrors, TruncatedInputGivesAShorterOutput) {
  const auto size = std::filesystem::file_size(Dir->file("clip.mpg"));
  {
    std::ifstream in(Dir->file("clip.mpg"), std::ios::binary);
    std::ofstream out(Dir->file("truncated.mpg"), std::ios::binary);
    std::vector<char> half(size / 2);
    in.read(half.data(), static_cast<std::streamsize>(half.size()));
    out.write(half.data(), static_cast<std::streamsize>(half.size()));
  }
  const std::string out = Dir->file("from-truncated.mp4");
  const TConversion run = Convert(Dir->file("truncated.mpg"), out, {{"vcodec", "mpeg4"}, {"acodec", "aac"}});
  ASSERT_TRUE(run.Added) << run.Message;
  ASSERT_FALSE(run.Exception) << run.Message;
  const int frames = CountFrames(out, "video");
  EXPECT_GT(frames, 5);
  EXPECT_LT(frames, 50);
}

TEST_F(TranscodeErrors, GarbageAfterAValidHeaderEndsCleanly) {
  for (const char* source : {"clip.mpg", "clip.mp4"}) {
    const std::string broken = Dir->file(std::string("garbage-") + source);
    {
      std::ifstream in(Dir->file(source), std::ios::binary);
      std::ofstream out(broken, std::ios::binary);
      std::vector<char> head(4096);
      in.read(head.data(), static_cast<std::streamsize>(head.size()));
      out.write(head.data(), in.gcount());
      WriteGarbage(out, 256 * 1024);
    }
    const std::string out = Dir->file(std::string("from-garbage-") + source + ".avi");
    const TConversion run = Convert(broken, out, {{"vcodec", "mpeg4"}, {"acodec", "libmp3lame"}});
    // Either refused when opened or set up, or converted as far as it goes.
    if (run.Added && !run.Exception) {
      EXPECT_TRUE(run.Finished) << source;
    } else {
      EXPECT_FALSE(run.Message.empty()) << source;
    }
  }
}

TEST_F(TranscodeErrors, StreamCopyStartsAtTheFirstKeyPacket) {
  // An input that starts in the middle of a group of pictures.
  ASSERT_TRUE(MakeMedia(Dir->file("gop.mpg"),
                        "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -c:v mpeg1video -g 25 -bf 0 -f mpeg"));
  const auto size = std::filesystem::file_size(Dir->file("gop.mpg"));
  {
    std::ifstream in(Dir->file("gop.mpg"), std::ios::binary);
    std::ofstream out(Dir->file("cut.mpg"), std::ios::binary);
    in.seekg(static_cast<std::streamoff>(size / 4));
    std::vector<char> rest(size - size / 4);
    in.read(rest.data(), static_cast<std::streamsize>(rest.size()));
    out.write(rest.data(), in.gcount());
  }
  const std::string out = Dir->file("cut-copy.mkv");
  const TConversion run = Convert(Dir->file("cut.mpg"), out, {{"vcodec", "copy"}, {"an", "1"}});
  ASSERT_TRUE(run.Added) << run.Message;
  ASSERT_FALSE(run.Exception) << run.Message << " | " << run.Log.back();
  const auto r = RunCommand("ffprobe -v error -select_streams v:0 -show_entries packet=flags -of csv=p=0 " +
                            ShellQuote(out) + " | head -1");
  EXPECT_EQ(r.output.substr(0, 1), "K") << r.output;
}

}  // namespace
}  // namespace fennick::test
