// What the set-up of a conversion decides before anything is written, seen
// through fennick-convert as a user runs it: subtitle encoders that cannot
// take the source's kind of cue, a header that finds the disk full, a
// decoder that cannot open (no encoder opened for it holds the run up), and
// pictures whose pixel aspect the container cannot keep.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "test_support.h"

namespace fennick {
namespace {

using test::Contains;
using test::CommandResult;
using test::ProbeFile;
using test::RunCommand;
using test::ShellQuote;
using test::StreamValue;

const std::string kBin = std::string(FENNICK_BIN_DIR) + "/fennick-convert";

CommandResult Convert(const std::string& arguments) { return RunCommand(ShellQuote(kBin) + " " + arguments); }

// Width, height and display aspect of a file's first video stream as ffprobe
// reads them; a pixel aspect that is absent counts as square.
struct TPictureShape {
  int Width = 0, Height = 0;
  std::string PixelAspect;  // "1:1" when square or absent
  double DisplayAspect = 0;
};

TPictureShape ProbeShape(const std::string& path) {
  const auto probe = ProbeFile(path);
  const int v = test::FindStream(probe, "video");
  TPictureShape shape;
  if (v < 0) return shape;
  shape.Width = std::stoi(StreamValue(probe, v, "width"));
  shape.Height = std::stoi(StreamValue(probe, v, "height"));
  shape.PixelAspect = StreamValue(probe, v, "sample_aspect_ratio");
  if (shape.PixelAspect.empty() || shape.PixelAspect == "N/A" || shape.PixelAspect == "0:1") shape.PixelAspect = "1:1";
  const size_t colon = shape.PixelAspect.find(':');
  const double sar = std::stod(shape.PixelAspect.substr(0, colon)) / std::stod(shape.PixelAspect.substr(colon + 1));
  shape.DisplayAspect = shape.Width * sar / shape.Height;
  return shape;
}

class SetupFaults : public ::testing::Test {
 protected:
  test::TempDir Dir;
};

TEST_F(SetupFaults, TextSubtitlesIntoABitmapEncoderAreRefusedBeforeAnythingIsWritten) {
  const std::string cues = Dir.file("cues.srt");
  std::ofstream(cues) << "1\n00:00:00,200 --> 00:00:00,600\nHello\n\n2\n00:00:00,700 --> 00:00:00,900\nWorld\n";
  const std::string source = Dir.file("withsubs.mkv");
  ASSERT_TRUE(test::MakeMedia(source, "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -i " + ShellQuote(cues) +
                                          " -c:v mpeg4 -c:s srt"));
  const std::string out = Dir.file("bitmap-subs.mkv");
  const auto r = Convert("--engine -i " + ShellQuote(source) + " -vcodec mpeg4 -scodec dvdsub " + ShellQuote(out));
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_TRUE(Contains(r.output, "only possible from text to text or bitmap to bitmap")) << r.output;
  EXPECT_TRUE(Contains(r.output, "output stream #0.1")) << r.output;
  EXPECT_FALSE(std::filesystem::exists(out));

  // Text into a text encoder still converts every cue.
  const std::string text = Dir.file("text-subs.mkv");
  const auto ok = Convert("--engine -i " + ShellQuote(source) + " -vcodec mpeg4 -scodec ass " + ShellQuote(text));
  ASSERT_EQ(ok.exitCode, 0) << ok.output;
  const auto packets = RunCommand("ffprobe -v error -select_streams s -show_entries packet=pts -of csv=p=0 " +
                                  ShellQuote(text) + " | wc -l");
  EXPECT_EQ(std::stoi(packets.output), 2) << packets.output;
}

TEST_F(SetupFaults, AFullDiskNamesItsReasonWhateverTheContainer) {
  // MP4, MOV, 3GP and iPod write their header straight away; the others'
  // first bytes stay buffered until a packet or the trailer fails.
  const std::string source = Dir.file("qcif.mp4");
  test::ClipSpec spec;
  spec.width = 176;
  spec.height = 144;
  spec.seconds = 0.4;
  ASSERT_TRUE(test::MakeClip(source, spec));
  for (const char* format : {"mp4", "mov", "3gp", "ipod", "avi", "mpeg"}) {
    const auto r = Convert(std::string("--engine -i ") + ShellQuote(source) + " -f " + format + " /dev/full");
    EXPECT_EQ(r.exitCode, 1) << format << ": " << r.output;
    EXPECT_TRUE(Contains(r.output, "No space left on device")) << format << ": " << r.output;
    EXPECT_FALSE(Contains(r.output, "incorrect codec parameters")) << format << ": " << r.output;
  }
}

// A 720x576 PAL picture to be shown at 16:9 (pixel aspect 64:45).
class AnamorphicSource : public SetupFaults {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test::MakeMedia(Source, "-f lavfi -i testsrc=size=720x576:rate=25:duration=0.4 -f lavfi -i "
                                        "sine=duration=0.4 -vf setsar=64/45 -c:v mpeg4 -c:a aac"));
    const TPictureShape shape = ProbeShape(Source);
    ASSERT_EQ(shape.PixelAspect, "64:45");
  }
  const std::string Source = Dir.file("anamorphic.mp4");
};

TEST_F(AnamorphicSource, ContainersWithoutPixelAspectGetSquarePixelsOfTheSameShape) {
  const struct {
    const char* Name;
    const char* Options;
    int Width;
    const char* PixelAspect;
  } cases[] = {{"flv.flv", "-vcodec flv", 1024, "1:1"},
               {"swf.swf", "-vcodec flv", 1024, "1:1"},
               {"rv10.rm", "-vcodec rv10", 1024, "1:1"},
               {"rv20.rm", "-vcodec rv20", 1024, "1:1"},
               {"kept.mp4", "-vcodec mpeg4", 720, "64:45"}};
  for (const auto& c : cases) {
    const std::string out = Dir.file(c.Name);
    const auto r = Convert("--engine -i " + ShellQuote(Source) + " -an " + c.Options + " " + ShellQuote(out));
    ASSERT_EQ(r.exitCode, 0) << c.Name << ": " << r.output;
    const TPictureShape shape = ProbeShape(out);
    EXPECT_EQ(shape.Width, c.Width) << c.Name;
    EXPECT_EQ(shape.Height, 576) << c.Name;
    EXPECT_EQ(shape.PixelAspect, c.PixelAspect) << c.Name;
    EXPECT_NEAR(shape.DisplayAspect, 16.0 / 9, 0.01) << c.Name;
  }
}

TEST_F(AnamorphicSource, TheFlvProfileShowsTheSourcesShape) {
  const std::string folder = Dir.file("out");
  std::filesystem::create_directory(folder);
  const auto r = Convert("-f flv -o " + ShellQuote(folder) + " " + ShellQuote(Source));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const TPictureShape shape = ProbeShape(folder + "/anamorphic.flv");
  EXPECT_EQ(shape.Height, 576);
  EXPECT_EQ(shape.PixelAspect, "1:1");
  EXPECT_NEAR(shape.DisplayAspect, 16.0 / 9, 0.01);
}

TEST_F(SetupFaults, SquarePixelsInAContainerWithoutPixelAspectKeepTheirSize) {
  const std::string source = Dir.file("square.mp4");
  test::ClipSpec spec;
  spec.seconds = 0.4;
  ASSERT_TRUE(test::MakeClip(source, spec));
  const std::string out = Dir.file("square.flv");
  const auto r = Convert("--engine -i " + ShellQuote(source) + " -vcodec flv " + ShellQuote(out));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const TPictureShape shape = ProbeShape(out);
  EXPECT_EQ(shape.Width, 320);
  EXPECT_EQ(shape.Height, 240);
}

TEST_F(SetupFaults, ARunThatFailsBeforeItsFirstPictureEndsAtOnceWhateverItsEncoder) {
  // A Theora picture whose set-up data is corrupt, with sound that is fine:
  // every format with a picture fails naming the decoder's reason, the
  // sound-only ones convert the sound. A run stuck in an encoder's clean-up
  // is killed by the cap and shows as a missing result line.
  const std::string damaged = std::string(FENNICK_SOURCE_DIR) + "/tests/media/damaged-theora.ogv";
  const std::string folder = Dir.file("out");
  std::filesystem::create_directory(folder);
  const auto formats = test::Lines(Convert("--list-formats").output);
  ASSERT_GT(formats.size(), 60u);
  for (const std::string& format : formats) {
    const auto r = RunCommand("timeout -s KILL 20 " + ShellQuote(kBin) + " -f " + ShellQuote(format) + " -o " +
                              ShellQuote(folder) + " " + ShellQuote(damaged));
    EXPECT_TRUE((Contains(r.output, "Fail  " + damaged + " -> -: ") && Contains(r.output, "Corrupt extradata")) ||
                Contains(r.output, "Done  " + damaged))
        << format << ": " << r.output;
  }
  // An encoder opened for a file whose header cannot be written.
  const std::string clip = Dir.file("clip.mp4");
  test::ClipSpec spec;
  spec.seconds = 0.4;
  ASSERT_TRUE(test::MakeClip(clip, spec));
  const auto r = RunCommand("timeout -s KILL 20 " + ShellQuote(kBin) + " --engine -i " + ShellQuote(clip) +
                            " -vcodec libsvtav1 -y " + ShellQuote(Dir.file("a.webm")) + " -f mp4 /dev/full");
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_TRUE(Contains(r.output, "No space left on device")) << r.output;
  EXPECT_FALSE(std::filesystem::exists(Dir.file("a.webm")));
}

}  // namespace
}  // namespace fennick
