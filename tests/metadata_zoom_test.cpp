// What a conversion keeps of its source besides sound and picture (tags,
// chapters, a song's cover) and how "Video Zoom" fits a picture into a frame
// of another shape, through fennick-convert as a user runs it; outputs read
// with ffprobe and pictures decoded with the ffmpeg command.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "jobs/job_queue.h"
#include "test_support.h"

namespace fennick {
namespace {

using test::ProbeFile;
using test::RunCommand;
using test::ShellQuote;

const std::string kBin = std::string(FENNICK_BIN_DIR) + "/fennick-convert";
const std::string kM4a = "M4A - Mpeg4 Audio File (*.m4a)";
const std::string kAppleTv320 = "Apple TV H264 (320 x 240) (*.mp4)";

// Runs fennick-convert into `folder`; true when every file is Done.
bool Convert(const std::string& folder, const std::string& arguments) {
  const auto r = RunCommand(ShellQuote(kBin) + " -o " + ShellQuote(folder) + " " + arguments + " 2>&1");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return r.exitCode == 0;
}

// The global tags of a file, by their names as ffprobe gives them.
std::map<std::string, std::string> Tags(const std::string& path) {
  std::map<std::string, std::string> tags;
  const std::string prefix = "format.tags.";
  for (const auto& [key, value] : ProbeFile(path))
    if (key.rfind(prefix, 0) == 0) tags[key.substr(prefix.size())] = value;
  return tags;
}

// Each chapter as "start,end,title" (seconds).
std::string Chapters(const std::string& path) {
  return RunCommand("ffprobe -v error -show_entries chapter=start_time,end_time:chapter_tags=title -of csv=p=0 " +
                    ShellQuote(path))
      .output;
}

struct TStreamKinds {
  int Video = 0;     // pictures that play
  int Covers = 0;    // attached pictures
  int CoverWidth = 0, CoverHeight = 0;
  std::string CoverCodec;
};
TStreamKinds StreamKinds(const std::string& path) {
  const auto probe = ProbeFile(path);
  TStreamKinds kinds;
  for (int i = 0; probe.count("streams.stream." + std::to_string(i) + ".index"); ++i) {
    if (test::StreamValue(probe, i, "codec_type") != "video") continue;
    if (test::StreamValue(probe, i, "disposition.attached_pic") != "1") {
      ++kinds.Video;
      continue;
    }
    ++kinds.Covers;
    kinds.CoverCodec = test::StreamValue(probe, i, "codec_name");
    kinds.CoverWidth = std::stoi(test::StreamValue(probe, i, "width"));
    kinds.CoverHeight = std::stoi(test::StreamValue(probe, i, "height"));
  }
  return kinds;
}

// A song with tags and a cover (64x48 JPEG), and a film with two chapters
// and tags, made once for the suite.
class MetadataTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Dir = std::make_unique<test::TempDir>();
    ASSERT_TRUE(test::MakeMedia(
        Song(),
        "-f lavfi -i sine=frequency=440:duration=1 -f lavfi -i color=red:size=64x48:duration=0.04 -map 0:a -map 1:v "
        "-frames:v 1 -c:a libmp3lame -c:v mjpeg -disposition:v attached_pic -metadata title='Evening Song' "
        "-metadata artist='The Band' -metadata album=First -metadata track=3/12 -metadata genre=Folk "
        "-metadata date=2001 -metadata comment='Recorded live' -metadata language=eng"));
    const std::string chapters = Dir->file("chapters.txt");
    std::ofstream(chapters) << ";FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1000\ntitle=Opening\n"
                               "[CHAPTER]\nTIMEBASE=1/1000\nSTART=1000\nEND=2000\ntitle=Ending\n";
    ASSERT_TRUE(test::MakeMedia(Film(), "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 "
                                        "-f lavfi -i sine=duration=2 -i " + ShellQuote(chapters) +
                                            " -map 0 -map 1 -map_chapters 2 -metadata title=Film "
                                            "-metadata creation_time=2020-01-02T03:04:05Z -c:v mpeg4 -c:a aac"));
  }
  static void TearDownTestSuite() { Dir.reset(); }
  static std::string Song() { return Dir->file("song.mp3"); }
  static std::string Film() { return Dir->file("film.mkv"); }

  test::TempDir Out;
  static std::unique_ptr<test::TempDir> Dir;
};
std::unique_ptr<test::TempDir> MetadataTest::Dir;

TEST_F(MetadataTest, ASongKeepsItsTagsAndItsCoverInMp3AndM4a) {
  const auto source = Tags(Song());
  ASSERT_EQ(source.at("title"), "Evening Song");
  ASSERT_TRUE(Convert(Out.path(), "-f mp3 " + ShellQuote(Song())));
  ASSERT_TRUE(Convert(Out.path(), "-f " + ShellQuote(kM4a) + " " + ShellQuote(Song())));
  for (const char* name : {"song.mp3", "song.m4a"}) {
    const std::string output = Out.file(name);
    const auto tags = Tags(output);
    for (const char* key : {"title", "artist", "album", "track", "genre", "date", "comment"})
      EXPECT_EQ(tags.count(key) ? tags.at(key) : "(none)", source.at(key)) << name << " " << key;
    const TStreamKinds kinds = StreamKinds(output);
    EXPECT_EQ(kinds.Video, 0) << name;
    EXPECT_EQ(kinds.Covers, 1) << name;
    EXPECT_EQ(kinds.CoverCodec, "mjpeg") << name;
    EXPECT_EQ(kinds.CoverWidth, 64) << name;
    EXPECT_EQ(kinds.CoverHeight, 48) << name;
  }
  // ID3 stores the language too.
  EXPECT_EQ(Tags(Out.file("song.mp3")).at("language"), "eng");
}

TEST_F(MetadataTest, AFilmKeepsItsChaptersAndTagsInMp4) {
  const std::string chapters = Chapters(Film());
  ASSERT_EQ(chapters, "0.000000,1.000000,Opening\n1.000000,2.000000,Ending\n");
  ASSERT_TRUE(Convert(Out.path(), "-f mp4 " + ShellQuote(Film())));
  const std::string output = Out.file("film.mp4");
  EXPECT_EQ(Chapters(output), chapters);
  const auto tags = Tags(output);
  EXPECT_EQ(tags.count("title") ? tags.at("title") : "", "Film");
  EXPECT_EQ(tags.count("creation_time") ? tags.at("creation_time") : "", Tags(Film()).at("creation_time"));
  EXPECT_EQ(StreamKinds(output).Video, 1);
}

TEST_F(MetadataTest, NoMetadataLeavesOutTagsChaptersAndCover) {
  ASSERT_TRUE(Convert(Out.path(), "-f mp4 --no-metadata " + ShellQuote(Song()) + " " + ShellQuote(Film())));
  for (const char* name : {"song.mp4", "film.mp4"}) {
    const auto tags = Tags(Out.file(name));
    EXPECT_EQ(tags.count("title"), 0u) << name;
    EXPECT_EQ(tags.count("artist"), 0u) << name;
  }
  EXPECT_EQ(StreamKinds(Out.file("song.mp4")).Covers, 0);
  EXPECT_EQ(Chapters(Out.file("film.mp4")), "");
}

// ---- Video Zoom

// Rows and columns of a grey picture whose brightest pixel is above black.
struct TPictureBox {
  int Top = -1, Bottom = -1, Left = -1, Right = -1;
};
TPictureBox PictureBox(const std::vector<uint8_t>& grey, int width, int height) {
  constexpr int kBlack = 24;
  TPictureBox box;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      if (grey[static_cast<size_t>(y) * width + x] <= kBlack) continue;
      if (box.Top < 0) box.Top = y;
      box.Bottom = y;
      if (box.Left < 0 || x < box.Left) box.Left = x;
      if (x > box.Right) box.Right = x;
    }
  return box;
}

class ZoomTest : public ::testing::Test {
 protected:
  // A white 16:9 film, so that every row of the picture shows.
  static void SetUpTestSuite() {
    Dir = std::make_unique<test::TempDir>();
    ASSERT_TRUE(test::MakeMedia(Wide(), "-f lavfi -i color=white:size=640x360:rate=25:duration=0.4 -c:v mpeg4 "
                                        "-q:v 2 -pix_fmt yuv420p"));
  }
  static void TearDownTestSuite() { Dir.reset(); }
  static std::string Wide() { return Dir->file("wide.mp4"); }

  test::TempDir Out;
  static std::unique_ptr<test::TempDir> Dir;
};
std::unique_ptr<test::TempDir> ZoomTest::Dir;

TEST_F(ZoomTest, LetterBoxFitsAWidePictureIntoA4To3FrameWithBlackBars) {
  ASSERT_TRUE(Convert(Out.path(), "-f " + ShellQuote(kAppleTv320) + " --zoom letterbox " + ShellQuote(Wide())));
  const std::string output = Out.file("wide.mp4");
  const auto probe = ProbeFile(output);
  const int video = test::FindStream(probe, "video");
  ASSERT_GE(video, 0);
  EXPECT_EQ(test::StreamValue(probe, video, "width"), "320");
  EXPECT_EQ(test::StreamValue(probe, video, "height"), "240");
  EXPECT_EQ(test::StreamValue(probe, video, "display_aspect_ratio"), "4:3");
  const auto grey = test::DecodePicture(output, 5, "gray", 320 * 240);
  ASSERT_FALSE(grey.empty());
  const TPictureBox box = PictureBox(grey, 320, 240);
  EXPECT_EQ(box.Top, 30);
  EXPECT_EQ(box.Bottom, 209);
  const int pictureWidth = box.Right - box.Left + 1, pictureHeight = box.Bottom - box.Top + 1;
  EXPECT_EQ(pictureWidth, 320);
  EXPECT_NEAR(pictureHeight, pictureWidth * 9.0 / 16.0, 1.0);
}

// The other way round: a 4:3 picture in a 16:9 frame gets bars at its sides.
TEST_F(ZoomTest, LetterBoxFitsANarrowPictureIntoA16To9FrameWithBarsAtItsSides) {
  const std::string narrow = Dir->file("narrow.mp4");
  ASSERT_TRUE(test::MakeMedia(narrow, "-f lavfi -i color=white:size=320x240:rate=25:duration=0.4 -c:v mpeg4 "
                                      "-q:v 2 -pix_fmt yuv420p"));
  ASSERT_TRUE(Convert(Out.path(), "-f " + ShellQuote("Web Video 720p (*.mp4)") + " --zoom letterbox " +
                                      ShellQuote(narrow)));
  const auto grey = test::DecodePicture(Out.file("narrow.mp4"), 5, "gray", 1280 * 720);
  ASSERT_FALSE(grey.empty());
  const TPictureBox box = PictureBox(grey, 1280, 720);
  EXPECT_EQ(box.Top, 0);
  EXPECT_EQ(box.Bottom, 719);
  EXPECT_NEAR(box.Left, 160, 2);
  EXPECT_NEAR(box.Right, 1119, 2);
}

TEST_F(ZoomTest, NoneLetsThePictureFillTheFrameWithItsShapeInTheAspect) {
  ASSERT_TRUE(Convert(Out.path(), "-f " + ShellQuote(kAppleTv320) + " --zoom none " + ShellQuote(Wide())));
  const std::string output = Out.file("wide.mp4");
  const auto probe = ProbeFile(output);
  EXPECT_EQ(test::StreamValue(probe, test::FindStream(probe, "video"), "display_aspect_ratio"), "16:9");
  const TPictureBox box = PictureBox(test::DecodePicture(output, 5, "gray", 320 * 240), 320, 240);
  EXPECT_EQ(box.Top, 0);
  EXPECT_EQ(box.Bottom, 239);
}

TEST(ZoomQueueFile, ASavedQueueKeepsEachJobsVideoZoom) {
  test::TempDir dir;
  TJobQueue queue;
  TQueuedJob job;
  job.Source = "/films/wide.mp4";
  job.Settings = TJobSettings{};
  job.Settings->Format = kAppleTv320;
  for (int zoom : {1, 0}) {
    job.Settings->ZoomIndex = zoom;
    queue.Add(job);
  }
  std::string error;
  const std::string path = dir.file("queue.json");
  ASSERT_TRUE(queue.Save(path, error)) << error;
  const auto loaded = TJobQueue::Load(path, error);
  ASSERT_TRUE(loaded) << error;
  EXPECT_EQ(loaded->At(0).Settings->ZoomIndex, 1);
  EXPECT_EQ(loaded->At(1).Settings->ZoomIndex, 0);
}

}  // namespace
}  // namespace fennick
