// Picture and sound in step across the catalogue: sources whose tone starts
// at a known moment, with the sound coded as people's files have it (AAC,
// MP3, AC-3, Vorbis, Opus, FLAC, ALAC, WavPack, PCM, in their usual
// containers, with and without a picture), converted into one entry of every
// output family with the codecs on one thread and on four (frame-threaded
// decoders hand blocks back late). The tone must start where it starts in
// the source, measured by the ffmpeg command: against the picture's start
// where the file has one, else against the sound's own start (where players
// begin, the encoder's priming left out).
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace fennick::test {
namespace {

const std::string kConvert = std::string(FENNICK_BIN_DIR) + "/fennick-convert";

struct TSource {
  const char* Name;    // file name; its extension is the container
  const char* Codecs;  // ffmpeg's output options for the streams
  bool Picture;
};

const TSource kSources[] = {
    {"aac.mp4", "-c:v libx264 -preset ultrafast -c:a aac", true},
    {"mp3.avi", "-c:v mpeg4 -c:a libmp3lame", true},
    {"ac3.mkv", "-c:v libx264 -preset ultrafast -c:a ac3", true},
    {"vorbis.webm", "-c:v libvpx -deadline realtime -c:a libvorbis", true},
    {"opus.webm", "-c:v libvpx -deadline realtime -c:a libopus", true},
    {"flac.mkv", "-c:v libx264 -preset ultrafast -c:a flac", true},
    {"alac.mov", "-c:v libx264 -preset ultrafast -c:a alac", true},
    {"wavpack.mkv", "-c:v libx264 -preset ultrafast -c:a wavpack", true},
    {"pcm.mov", "-c:v mpeg4 -c:a pcm_s16le", true},
    {"aac.m4a", "-c:a aac", false},
    {"mp3.mp3", "-c:a libmp3lame", false},
    {"ac3.ac3", "-c:a ac3", false},
    {"vorbis.ogg", "-c:a libvorbis", false},
    {"opus.opus", "-c:a libopus", false},
    {"flac.flac", "-c:a flac", false},
    {"alac.m4a", "-c:a alac", false},
    {"wavpack.wv", "-c:a wavpack", false},
    {"pcm.wav", "-c:a pcm_s16le", false},
};

// A classic video format, MP4 H.264, MKV, WebM, a sound-only and a lossless one.
const char* const kFamilies[] = {"avi", "MP4 - H.264", "mkv", "webm", "mp3", "flac"};

// Where the tone starts, against the picture's start (or the sound's), in
// ms; nothing when the file cannot be measured.
std::optional<double> ToneStart(const std::string& file) {
  const auto detect = RunCommand("ffmpeg -hide_banner -nostdin -nostats -i " + ShellQuote(file) +
                                 " -map 0:a:0 -af silencedetect=n=-30dB:d=0.2 -f null -");
  static const std::regex end("silence_end: ([-0-9.]+)");
  std::smatch m;
  if (!std::regex_search(detect.output, m, end)) return std::nullopt;
  // The ffmpeg command's times start at the file's start time.
  const auto probe = ProbeFile(file);
  const auto number = [](const std::string& text) { return text.empty() || text == "N/A" ? 0.0 : std::stod(text); };
  const double fileStart = number(probe.count("format.start_time") ? probe.at("format.start_time") : "");
  const int video = FindStream(probe, "video");
  const int audio = FindStream(probe, "audio");
  const double origin = number(StreamValue(probe, video >= 0 ? video : audio, "start_time"));
  return (std::stod(m[1]) + fileStart - origin) * 1000.0;
}

using TCase = std::tuple<int, int>;  // source index, codec threads

class SoundSync : public ::testing::TestWithParam<TCase> {};

TEST_P(SoundSync, TheToneStartsWithThePictureAsInTheSource) {
  const auto [index, threads] = GetParam();
  const TSource& source = kSources[index];
  TempDir dir;
  const std::string input = dir.file(source.Name);
  const std::string tone = "aevalsrc=if(gte(t\\,1)\\,0.5*sin(2*PI*440*t)\\,0):s=44100:c=stereo:d=1.6";
  ASSERT_TRUE(MakeMedia(input, std::string(source.Picture ? "-f lavfi -i testsrc2=s=160x120:r=25:d=1.6 " : "") +
                                   "-f lavfi -i " + ShellQuote(tone) + " " + source.Codecs));
  const auto expected = ToneStart(input);
  ASSERT_TRUE(expected) << source.Name;
  for (const char* family : kFamilies) {
    SCOPED_TRACE(std::string(source.Name) + " into " + family + " with " + std::to_string(threads) + " threads");
    const std::string folder = dir.file(std::string("out-") + family);
    std::filesystem::create_directories(folder);
    const auto run = RunCommand(kConvert + " --threads " + std::to_string(threads) + " -f " + ShellQuote(family) +
                                " -o " + ShellQuote(folder) + " " + ShellQuote(input));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    auto outputs = std::filesystem::directory_iterator(folder);
    ASSERT_NE(outputs, std::filesystem::directory_iterator()) << run.output;
    const std::string output = outputs->path().string();
    const auto start = ToneStart(output);
    ASSERT_TRUE(start) << output;
    EXPECT_NEAR(*start, *expected, 25.0);
    // Sound alone starts at the beginning, but for the encoder's priming
    // (LAME's 1105 samples are 25 ms at 44.1 kHz).
    const auto probe = ProbeFile(output);
    if (FindStream(probe, "video") < 0) {
      const std::string audioStart = StreamValue(probe, FindStream(probe, "audio"), "start_time");
      if (!audioStart.empty() && audioStart != "N/A") {
        EXPECT_LE(std::stod(audioStart), 0.026);
      }
    }
  }
}

std::string CaseName(const ::testing::TestParamInfo<TCase>& info) {
  std::string name = kSources[std::get<0>(info.param)].Name;
  for (char& c : name) {
    if (c == '.') c = '_';
  }
  return name + "_threads" + std::to_string(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(Catalogue, SoundSync,
                         ::testing::Combine(::testing::Range(0, int(std::size(kSources))), ::testing::Values(1, 4)),
                         CaseName);

}  // namespace
}  // namespace fennick::test
