// Files are never lost or mixed: an output appears under its name only when
// complete, a name a running conversion holds is never chosen or replaced by
// another (in this process or another), a batch never names one file twice,
// an output named before its input never destroys that input, the clean-up
// of partial files touches nothing but a leftover of the name it takes, a
// name taken while a file is written sends the file to the next "-N" name,
// a stop before anything was converted leaves no file, and a stopped file's
// picture and sound end together.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/transcode_support.h"

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
  // Runs a shell command in the background with its output in `log`; its
  // process id.
  std::string Background(const std::string& command, const std::string& log) {
    const auto r = RunCommand("(" + command + ") >" + ShellQuote(log) + " 2>&1 & echo $!");
    return r.output.substr(0, r.output.find('\n'));
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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

// Every name the file system takes gets a partial name that fits it too
// (the partial name adds 17 bytes: 238 fills 255 exactly).
TEST_F(OutputSafety, ANameOfAnyLengthTheFileSystemTakesIsWritten) {
  for (const size_t length : {238u, 239u, 245u, 255u}) {
    const std::string name = std::string(length - 4, 'a') + ".mkv";
    const auto r = RunCommand(ShellQuote(kBin) + " --engine -i " + ShellQuote(Clip) + " -t 0.5 -y " +
                              ShellQuote(Out + "/" + name));
    EXPECT_EQ(r.exitCode, 0) << length << ": " << r.output;
    EXPECT_NEAR(Duration(Out + "/" + name), 0.5, 0.1) << length;
  }
}

// Replacing an output that is a link writes through it: the link stays and
// the file it points to is the new one.
TEST_F(OutputSafety, OverwritingALinkReplacesTheFileItPointsTo) {
  const std::string real = Dir.file("real");
  fs::create_directories(real);
  std::ofstream(real + "/long.mp4") << "an earlier output";
  fs::create_symlink(real + "/long.mp4", Out + "/long.mp4");
  const auto r = RunCommand(ShellQuote(kBin) + " --overwrite -o " + ShellQuote(Out) + " " + ShellQuote(Clip));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(fs::is_symlink(Out + "/long.mp4"));
  EXPECT_NEAR(Duration(real + "/long.mp4"), 4.0, 0.2);
}

TEST_F(OutputSafety, TheCleanUpOfPartialFilesTouchesOnlyALeftoverOfTheNameItTakes) {
  // A hidden partial file rescued from a killed run, converted as a source;
  // another name's leftover; a source that is the leftover's very name; a
  // link at a partial name.
  const std::string rescued = Dir.file(".b.mp4.fennick-partial");
  fs::copy_file(Clip, rescued);
  fs::copy_file(Clip, Dir.file("a.mp4"));
  fs::copy_file(Clip, Dir.file("c.mp4"));
  const std::string alsoSource = Dir.file(".c.mkv.fennick-partial");
  fs::copy_file(Clip, alsoSource);
  std::ofstream(Out + "/.other.mkv.fennick-partial") << "another run's";
  std::ofstream(Dir.file("precious")) << "kept";
  fs::create_symlink(Dir.file("precious"), Out + "/.a.mkv.fennick-partial");
  const auto size = fs::file_size(Clip);

  const auto r = RunCommand(ShellQuote(kBin) + " -f mkv -o " + ShellQuote(Out) + " " + ShellQuote(Dir.file("a.mp4")) +
                            " " + ShellQuote(rescued) + " && " + ShellQuote(kBin) + " -f mkv -o " +
                            ShellQuote(Dir.path().string()) + " " + ShellQuote(Dir.file("c.mp4")) + " " + ShellQuote(alsoSource));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(fs::file_size(rescued), size);
  EXPECT_EQ(fs::file_size(alsoSource), size);
  EXPECT_EQ(Read(Out + "/.other.mkv.fennick-partial"), "another run's");
  EXPECT_TRUE(fs::is_symlink(Out + "/.a.mkv.fennick-partial"));
  EXPECT_EQ(Read(Dir.file("precious")), "kept");
  // The link makes a.mkv taken; the source makes c.mkv taken.
  EXPECT_TRUE(Contains(r.output, " -> " + Out + "/a-1.mkv\n")) << r.output;
  EXPECT_TRUE(Contains(r.output, " -> " + Dir.file("c-1.mkv") + "\n")) << r.output;
  for (const std::string& output : {Out + "/a-1.mkv", Dir.file("c-1.mkv")}) {
    EXPECT_EQ(DecodeErrors(output), "") << output;
    EXPECT_NEAR(Duration(output), 4.0, 0.2) << output;
  }
}

TEST_F(OutputSafety, ANameTakenWhileTheFileIsWrittenSendsTheWholeFileToTheNextNumber) {
  // The source comes through a pipe that pauses half way, while the name is
  // taken.
  const std::string matroska = Dir.file("film.mkv");
  ASSERT_TRUE(test::MakeMedia(matroska, "-i " + ShellQuote(Clip) + " -c copy"));
  const std::string pipe = Dir.file("pipe/film.mkv");
  fs::create_directories(fs::path(pipe).parent_path());
  ASSERT_EQ(RunCommand("mkfifo " + ShellQuote(pipe)).exitCode, 0);
  const auto half = std::to_string(fs::file_size(matroska) / 2);
  Background("(head -c " + half + " " + ShellQuote(matroska) + "; sleep 2; tail -c +$((" + half + " + 1)) " +
                 ShellQuote(matroska) + ") > " + ShellQuote(pipe),
             Dir.file("writer.log"));
  const std::string log = Dir.file("convert.log");
  const std::string pid = Background(ShellQuote(kBin) + " -f avi -o " + ShellQuote(Out) + " " + ShellQuote(pipe), log);
  RunCommand("for i in $(seq 1 200); do [ -e " + ShellQuote(Out + "/.film.avi.fennick-partial") +
             " ] && break; sleep 0.05; done");
  std::ofstream(Out + "/film.avi") << "the user's";
  // ... and a dangling link at a name from the start.
  fs::create_symlink(Dir.file("nowhere"), Out + "/long.avi");
  const auto second = RunCommand("cd " + ShellQuote(Dir.path().string()) + " && " + ShellQuote(kBin) +
                                 " -f avi -o out " + ShellQuote(Clip));
  WaitForExit(pid);
  const std::string first = Read(log);
  EXPECT_TRUE(Contains(first, "Done  " + pipe + " -> " + Out + "/film-1.avi\n")) << first;
  EXPECT_EQ(Read(Out + "/film.avi"), "the user's");
  EXPECT_NEAR(Duration(Out + "/film-1.avi"), 4.0, 0.2);
  EXPECT_EQ(DecodeErrors(Out + "/film-1.avi"), "");
  EXPECT_TRUE(Contains(second.output, " -> out/long-1.avi\n")) << second.output;
  EXPECT_TRUE(fs::is_symlink(Out + "/long.avi"));
  EXPECT_FALSE(fs::exists(Dir.file("nowhere")));
}

TEST_F(OutputSafety, AStopBeforeAnythingWasConvertedLeavesNoFile) {
  test::RequireLibraries();
  for (const char* name : {"stopped.webm", "stopped.mp4"}) {
    const std::string output = Out + "/" + name;
    const auto run = test::Convert(Clip, output, {}, {}, [](TCustomFFmpeg& engine) {
      engine.OnLog = [](TCustomFFmpeg& self, int, const std::string& text) {
        if (text == "Stream mapping:") self.RequestStop();
      };
    });
    ASSERT_TRUE(run.Added) << run.Message;
    EXPECT_FALSE(run.Finished);
    EXPECT_FALSE(run.Exception) << run.Message;
  }
  EXPECT_EQ(Entries(Out), std::vector<std::string>{});

  // Sound converted, but the picture starts later than the stop: the sound
  // ends with the picture, so nothing is left.
  const std::string picture = Dir.file("picture.mkv"), late = Dir.file("late.mkv");
  ASSERT_TRUE(test::MakeMedia(picture, "-f lavfi -i testsrc=s=160x120:d=2 -c:v libx264 -preset ultrafast"));
  ASSERT_TRUE(test::MakeMedia(late, "-f lavfi -i sine=d=12 -itsoffset 10 -i " + ShellQuote(picture) +
                                        " -map 1:v -map 0:a -c:v copy -c:a aac"));
  const auto r = RunCommand(ShellQuote(kBin) + " --engine -re -i " + ShellQuote(late) + " -vcodec libx264 -acodec aac " +
                            ShellQuote(Out + "/late.mp4") + " & pid=$!; sleep 1.5; kill -INT $pid; wait $pid");
  EXPECT_EQ(r.exitCode, 130) << r.output;
  EXPECT_EQ(Entries(Out), std::vector<std::string>{});
}

// Sound is held only behind a picture, and no longer than its limit: a
// stopped song keeps what was converted, and a stop in a sound that goes on
// far past its picture loses at most the limit's seconds of it.
TEST_F(OutputSafety, AStoppedFileKeepsTheSoundBeyondItsHold) {
  const std::string song = Dir.file("song.wav"), still = Dir.file("still.mkv"), picture = Dir.file("picture.mkv");
  ASSERT_TRUE(test::MakeMedia(song, "-f lavfi -i sine=d=20 -c:a pcm_s16le"));
  ASSERT_TRUE(test::MakeMedia(picture, "-f lavfi -i testsrc=s=160x120:d=1 -c:v libx264 -preset ultrafast"));
  ASSERT_TRUE(test::MakeMedia(still, "-i " + ShellQuote(picture) + " -f lavfi -i sine=d=20 -c:v copy -c:a aac"));
  const auto stopAfter = [this](const std::string& source, const std::string& output, const char* seconds) {
    return RunCommand(ShellQuote(kBin) + " --engine -re -i " + ShellQuote(source) + " -vcodec libx264 -acodec aac " +
                      ShellQuote(output) + " & pid=$!; sleep " + seconds + "; kill -INT $pid; wait $pid");
  };
  stopAfter(song, Out + "/song.m4a", "1.5");
  EXPECT_GT(Duration(Out + "/song.m4a"), 1.0);
  stopAfter(still, Out + "/still.mp4", "12.5");
  const auto r = RunCommand("ffprobe -v error -select_streams a:0 -show_entries stream=duration -of csv=p=0 " +
                            ShellQuote(Out + "/still.mp4"));
  EXPECT_GT(std::atof(r.output.c_str()), 2.0) << "the sound stops with the one-second picture";
}

// Stopped while its picture encoder still holds pictures, a file's picture
// and sound end together, for each encoder of today.
TEST_F(OutputSafety, AStoppedFilesPictureAndSoundEndTogether) {
  const std::string source = Dir.file("wide.mkv");
  ASSERT_TRUE(test::MakeMedia(source, "-f lavfi -i testsrc2=s=640x360:r=25:d=20 -f lavfi -i sine=d=20 "
                                      "-c:v libx264 -preset ultrafast -c:a aac"));
  const auto end = [](const std::string& file, const char* stream) {
    const auto r = RunCommand("ffprobe -v error -select_streams " + std::string(stream) +
                              " -show_entries packet=pts_time,duration_time -of csv=p=0 " + ShellQuote(file));
    double last = -1;
    for (const auto& line : test::Lines(r.output)) {
      const auto comma = line.find(',');
      if (comma == std::string::npos) continue;
      last = std::max(last, std::stod(line.substr(0, comma)) + std::stod(line.substr(comma + 1)));
    }
    return last;
  };
  for (const char* format : {"MP4 - H.264", "MP4 - H.265", "webm", "webm - av1"}) {
    SCOPED_TRACE(format);
    const std::string folder = Out + "/" + format;
    fs::create_directories(folder);
    const std::string log = Dir.file("stop.log");
    const std::string pid =
        Background(ShellQuote(kBin) + " -f " + ShellQuote(format) + " -o " + ShellQuote(folder) + " " +
                       ShellQuote(source),
                   log);
    // Stopped once the file has grown: its encoders are well into the
    // source.
    RunCommand("for i in $(seq 1 400); do [ $(cat " + ShellQuote(folder) +
               "/.*partial 2>/dev/null | wc -c) -gt 30000 ] && break; sleep 0.05; done; kill -INT " + pid);
    WaitForExit(pid);
    const std::string output = folder + "/wide." + (std::string(format).find("webm") == 0 ? "webm" : "mp4");
    ASSERT_TRUE(Contains(Read(log), "Abort")) << Read(log);
    const double picture = end(output, "v:0"), sound = end(output, "a:0");
    EXPECT_GT(picture, 0.5);
    EXPECT_NEAR(sound, picture, 0.2);
  }
}

}  // namespace
}  // namespace fennick
