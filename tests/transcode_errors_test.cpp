// Set-up refusals with their exact messages, and broken inputs that must end
// in a clean error or a shorter output, never a crash or a hang.
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
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

// A FLAC cut off in the middle of a frame, and one with a damaged frame just
// before its last, into FLAC: the same file at any codec thread count (a
// frame-threaded decoder reports a damaged frame near the end only as it
// drains, and gives the frames after it then), with the header the encoder
// writes at the end.
TEST_F(TranscodeErrors, ADamagedFlacGivesTheSameWholeFileAtAnyThreadCount) {
  const std::string flac = Dir->file("song.flac");
  ASSERT_TRUE(MakeMedia(flac, "-f lavfi -i sine=frequency=440:duration=5 -ac 2 -c:a flac"));
  std::ifstream in(flac, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::ofstream(Dir->file("cut.flac"), std::ios::binary) << bytes.substr(0, 30000);
  // Where the last frame but one lies, as ffprobe finds the packets.
  const auto packets = Lines(RunCommand("ffprobe -v error -show_entries packet=pos -of csv=p=0 " + ShellQuote(flac)).output);
  ASSERT_GT(packets.size(), 3u);
  const size_t damaged = std::stoul(packets[packets.size() - 2]) + 500;
  bytes.replace(damaged, 8, 8, '\xff');
  std::ofstream(Dir->file("damaged.flac"), std::ios::binary) << bytes;

  for (const char* source : {"cut", "damaged"}) {
    std::string first;
    for (const int threads : {1, 4}) {
      const std::string out = Dir->file(std::string(source) + "-" + std::to_string(threads) + ".flac");
      const TConversion run = Convert(Dir->file(std::string(source) + ".flac"), out, {{"acodec", "flac"}}, {},
                                      [threads](TCustomFFmpeg& engine) { engine.SetThreadCount(threads); });
      ASSERT_FALSE(run.Exception) << run.Message;
      // STREAMINFO counts the samples: ffprobe tells the duration from it.
      EXPECT_GT(ProbeNumber(ProbeFile(out), "streams.stream.0.duration"), 1.5) << source << " " << threads;
      std::ifstream written(out, std::ios::binary);
      const std::string output((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
      if (first.empty())
        first = output;
      else
        EXPECT_TRUE(output == first) << source << ": the files differ";
    }
  }
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

// Lowers the process's file size limit for one scope: every write beyond it
// fails as on a full disk ("File too large" instead of "No space left").
class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &FPrevious);
    FSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = FPrevious;
    lowered.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &lowered);
  }
  ~TFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &FPrevious);
    std::signal(SIGXFSZ, FSignal);
  }

 private:
  rlimit FPrevious{};
  void (*FSignal)(int) = nullptr;
};

TEST_F(TranscodeErrors, AFailedWriteEndsTheTaskWithItsReasonAndRemovesTheOutput) {
  // Raw pictures overflow the byte stream's buffer, so a packet write fails;
  // a small mp4 stays buffered until its trailer (the index) fails.
  const struct {
    const char* Name;
    TOptionList Options;
  } cases[] = {{"raw.avi", {{"vcodec", "rawvideo"}, {"an", "1"}}},
               {"small.mp4", {{"vcodec", "mpeg4"}, {"b", "400000"}, {"acodec", "aac"}}}};
  for (const auto& c : cases) {
    const std::string out = Dir->file(c.Name);
    TConversion run;
    {
      TFileSizeLimit limit(64 * 1024);
      run = Convert(Dir->file("clip.mp4"), out, c.Options);
    }
    ASSERT_TRUE(run.Added) << run.Message;
    EXPECT_TRUE(run.Exception) << c.Name;
    EXPECT_NE(run.Message.find("File too large"), std::string::npos) << c.Name << ": " << run.Message;
    EXPECT_FALSE(std::filesystem::exists(out)) << c.Name << ": an output without its trailer is removed";
  }
}

TEST_F(TranscodeErrors, AnOutputWithoutMediaFailsAndLeavesNoFile) {
  // An mp4 cut right after its index (no sample data at all), and a start
  // position beyond the end of a whole clip.
  ClipSpec spec;
  spec.videoCodec = "libx264";  // its picture size is in the index
  spec.extra = "-movflags +faststart";
  ASSERT_TRUE(MakeClip(Dir->file("indexed.mp4"), spec));
  {
    std::ifstream in(Dir->file("indexed.mp4"), std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t pos = 0;
    while (pos + 8 <= bytes.size() && std::string(&bytes[pos + 4], 4) != "mdat")
      pos += (static_cast<uint8_t>(bytes[pos]) << 24) | (static_cast<uint8_t>(bytes[pos + 1]) << 16) |
             (static_cast<uint8_t>(bytes[pos + 2]) << 8) | static_cast<uint8_t>(bytes[pos + 3]);
    ASSERT_LT(pos, bytes.size());
    std::ofstream(Dir->file("header-only.mp4"), std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(pos));
  }
  const struct {
    const char* Input;
    TOptionList Options;
  } cases[] = {{"header-only.mp4", {}}, {"clip.mp4", {{"ss", "1000"}}}};
  for (const auto& c : cases) {
    const std::string out = Dir->file(std::string("nothing-from-") + c.Input + ".mp4");
    const TConversion run = Convert(Dir->file(c.Input), out, c.Options);
    ASSERT_TRUE(run.Added) << run.Message;
    EXPECT_TRUE(run.Exception) << c.Input;
    EXPECT_NE(run.Message.find("holds no media"), std::string::npos) << c.Input << ": " << run.Message;
    EXPECT_FALSE(std::filesystem::exists(out)) << c.Input;
  }
}

TEST_F(TranscodeErrors, AStreamWithNothingAfterTheStartPositionDoesNotFailTheRun) {
  // Sound for the first second of a three-second picture, converted from 2 s
  // on: the picture is there, the sound rightly is not.
  ASSERT_TRUE(MakeMedia(Dir->file("short-sound.mp4"),
                        "-f lavfi -i testsrc=size=160x120:rate=25:duration=3 -f lavfi -i sine=duration=1 "
                        "-c:v mpeg4 -c:a aac"));
  const std::string out = Dir->file("tail.mp4");
  const TConversion run = Convert(Dir->file("short-sound.mp4"), out, {{"ss", "2"}});
  ASSERT_TRUE(run.Added) << run.Message;
  EXPECT_FALSE(run.Exception) << run.Message;
  EXPECT_EQ(CountFrames(out, "video"), 25);
}

}  // namespace
}  // namespace fennick::test
