// Audio formats of today through the engine: 5.1 kept where the codec and
// the container take it, Opus coded at its own rate, and the lossless
// encoders keeping the source's bits and rate. Checked with ffprobe and
// with the samples the ffmpeg command decodes from source and output.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "tests/transcode_support.h"

namespace fennick::test {
namespace {

// Level of each channel of the 5.1 source, relative to the front left.
constexpr double kSurroundGains[6] = {1.0, 0.5, 0.3, 0.15, 0.7, 0.6};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The samples the ffmpeg command decodes from a file, as raw `format`
// ("s16le", "s32le") in the decoder's channel order; empty on failure.
std::string DecodedSamples(const TempDir& dir, const std::string& path, const std::string& format) {
  const std::string raw = dir.file("decoded.raw");
  const auto r = RunCommand("ffmpeg -v error -nostdin -y -i " + ShellQuote(path) + " -f " + format + " " +
                            ShellQuote(raw));
  if (r.exitCode != 0) return {};
  return ReadFile(raw);
}

// The RMS level of each channel as decoded, relative to the first one.
std::vector<double> RelativeLevels(const TempDir& dir, const std::string& path, int channels) {
  const std::string raw = DecodedSamples(dir, path, "s16le");
  const size_t frames = raw.size() / (2 * size_t(channels));
  std::vector<double> sums(size_t(channels), 0.0);
  const auto* samples = reinterpret_cast<const int16_t*>(raw.data());
  for (size_t i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c) sums[c] += double(samples[i * channels + c]) * samples[i * channels + c];
  std::vector<double> levels;
  for (double sum : sums) levels.push_back(sums[0] > 0 ? std::sqrt(sum / sums[0]) : 0);
  return levels;
}

// The level the ffmpeg command measures over the middle of a file (dB).
double MeanVolume(const std::string& path) {
  const auto r = RunCommand("ffmpeg -v info -nostdin -i " + ShellQuote(path) +
                            " -af atrim=0.1:0.9,volumedetect -f null - 2>&1 | grep mean_volume");
  const auto at = r.output.find("mean_volume: ");
  return at == std::string::npos ? -1000.0 : std::stod(r.output.substr(at + 13));
}

class AudioFormats : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RequireLibraries();
    Dir = std::make_unique<TempDir>();
    // 5.1 at 44100 Hz, each channel at its own level of one low tone (below
    // the low-frequency channel's band limit of the lossy encoders).
    ASSERT_TRUE(MakeMedia(Dir->file("surround.wav"),
                          "-f lavfi -i sine=frequency=60:sample_rate=44100:duration=1 -af " +
                              ShellQuote("pan=5.1|c0=c0|c1=0.5*c0|c2=0.3*c0|c3=0.15*c0|c4=0.7*c0|c5=0.6*c0") +
                              " -c:a pcm_s16le"));
    // 24 bits at 96 kHz and 16 bits at 44.1 kHz: tones with noise, so that
    // every bit is used.
    const auto noisyTones = [](const std::string& rate) {
      return "-f lavfi -i " +
             ShellQuote("aevalsrc=0.5*sin(2*PI*440*t)+0.1*random(0)|0.4*sin(2*PI*660*t)+0.1*random(1):s=" + rate +
                        ":d=1");
    };
    ASSERT_TRUE(MakeMedia(Dir->file("deep.wav"), noisyTones("96000") + " -c:a pcm_s24le"));
    ASSERT_TRUE(MakeMedia(Dir->file("plain.wav"), noisyTones("44100") + " -c:a pcm_s16le"));
  }
  static void TearDownTestSuite() { Dir.reset(); }
  static std::unique_ptr<TempDir> Dir;
};
std::unique_ptr<TempDir> AudioFormats::Dir;

struct TSurroundCase {
  std::string Output;    // file name; its extension chooses the container
  std::string Encoder;
  std::string Codec;     // as ffprobe names it
  std::string Layout;    // as ffprobe names it
  std::string Rate;
  friend void PrintTo(const TSurroundCase& c, std::ostream* os) { *os << c.Output << " " << c.Encoder; }
};

class SurroundFormats : public AudioFormats, public ::testing::WithParamInterface<TSurroundCase> {};

// With the source's channel count inherited and with "ac" 6: six channels in
// the standard 5.1 layout, each keeping its own level (so none is swapped).
TEST_P(SurroundFormats, FivePointOneKeepsItsSixChannels) {
  const TSurroundCase& c = GetParam();
  const std::vector<double> source = RelativeLevels(*Dir, Dir->file("surround.wav"), 6);
  for (const bool explicitChannels : {false, true}) {
    SCOPED_TRACE(explicitChannels ? "ac 6" : "channels inherited");
    const std::string out = Dir->file((explicitChannels ? "ac6-" : "") + c.Output);
    TOptionList options{{"acodec", c.Encoder}};
    if (explicitChannels) options.emplace_back("ac", "6");
    const TConversion run = Convert(Dir->file("surround.wav"), out, options);
    ASSERT_TRUE(run.Added) << run.Message;
    ASSERT_FALSE(run.Exception) << run.Message;
    const auto probe = ProbeFile(out);
    const int a = FindStream(probe, "audio");
    ASSERT_GE(a, 0) << out;
    EXPECT_EQ(StreamValue(probe, a, "codec_name"), c.Codec);
    EXPECT_EQ(StreamValue(probe, a, "channels"), "6");
    EXPECT_EQ(StreamValue(probe, a, "channel_layout"), c.Layout);
    EXPECT_EQ(StreamValue(probe, a, "sample_rate"), c.Rate);
    const std::vector<double> levels = RelativeLevels(*Dir, out, 6);
    ASSERT_EQ(levels.size(), 6u);
    for (int ch = 0; ch < 6; ++ch) {
      EXPECT_NEAR(source[ch], kSurroundGains[ch], 0.01) << "source channel " << ch;
      EXPECT_NEAR(levels[ch], source[ch], 0.05) << "channel " << ch;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Containers, SurroundFormats,
    ::testing::Values(TSurroundCase{"aac.mkv", "aac", "aac", "5.1", "44100"},
                      TSurroundCase{"opus.mkv", "libopus", "opus", "5.1", "48000"},
                      TSurroundCase{"opus.webm", "libopus", "opus", "5.1", "48000"},
                      TSurroundCase{"aac.mp4", "aac", "aac", "5.1", "44100"},
                      // AC-3 carries 3/2 channels and LFE, which decoders
                      // present as 5.1 with side channels.
                      TSurroundCase{"ac3.mkv", "ac3", "ac3", "5.1(side)", "44100"}),
    [](const auto& info) {
      std::string name = info.param.Output;
      for (char& ch : name)
        if (ch == '.') ch = '_';
      return name;
    });

// A rate Opus does not code goes up to the next one it does: a 32 kHz source
// is coded at 48 kHz and keeps its sound up to 16 kHz (at 24 kHz, the rate
// nearest to it, that would end at 12 kHz).
TEST_F(AudioFormats, OpusOfA32kHzSourceKeepsItsHighs) {
  ASSERT_TRUE(MakeMedia(Dir->file("high.wav"), "-f lavfi -i sine=frequency=14000:sample_rate=32000:duration=1 "
                                               "-c:a pcm_s16le"));
  const std::string out = Dir->file("high.opus.mkv");
  const TConversion run = Convert(Dir->file("high.wav"), out, {{"acodec", "libopus"}, {"ab", "128000"}});
  ASSERT_TRUE(run.Added) << run.Message;
  ASSERT_FALSE(run.Exception) << run.Message;
  EXPECT_NEAR(MeanVolume(out), MeanVolume(Dir->file("high.wav")), 3.0) << "the 14 kHz tone is kept";
}

// A source decoded to floating point reaches a lossy encoder that codes
// floating point without a rounding to 16 bits in between: an AAC file
// into MP3 at another rate gives the very packets of the ffmpeg command.
TEST_F(AudioFormats, FloatSamplesReachALossyEncoderUnrounded) {
  ASSERT_TRUE(MakeMedia(Dir->file("song.m4a"), "-f lavfi -i sine=frequency=1000:sample_rate=44100:duration=2 "
                                               "-f lavfi -i anoisesrc=amplitude=0.05:sample_rate=44100:duration=2 "
                                               "-filter_complex amix=inputs=2 -ac 2 -c:a aac"));
  const std::string ours = Dir->file("song.mp3"), theirs = Dir->file("song-ffmpeg.mp3");
  const TConversion run = Convert(Dir->file("song.m4a"), ours,
                                  {{"acodec", "libmp3lame"}, {"ab", "192000"}, {"ar", "48000"}, {"ac", "2"}});
  ASSERT_FALSE(run.Exception) << run.Message;
  ASSERT_EQ(RunCommand("ffmpeg -v error -nostdin -y -i " + ShellQuote(Dir->file("song.m4a")) +
                       " -c:a libmp3lame -b:a 192k -ar 48000 -ac 2 " + ShellQuote(theirs))
                .exitCode,
            0);
  const auto packets = [](const std::string& path) {
    return RunCommand("ffmpeg -v error -nostdin -i " + ShellQuote(path) + " -map 0:a -c copy -f md5 -").output;
  };
  EXPECT_EQ(packets(ours), packets(theirs));
}

// The volume scales floating-point samples as it does integer ones: 150 %
// gives the level of the ffmpeg command's volume filter at 1.5.
TEST_F(AudioFormats, VolumeScalesFloatSamples) {
  ASSERT_TRUE(MakeMedia(Dir->file("quiet.m4a"), "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=1 "
                                                "-af volume=0.2 -c:a aac"));
  const std::string ours = Dir->file("louder.mp3"), theirs = Dir->file("louder-ffmpeg.mp3");
  const TConversion run = Convert(Dir->file("quiet.m4a"), ours, {{"acodec", "libmp3lame"}, {"vol", "384"}});
  ASSERT_FALSE(run.Exception) << run.Message;
  ASSERT_EQ(RunCommand("ffmpeg -v error -nostdin -y -i " + ShellQuote(Dir->file("quiet.m4a")) +
                       " -af volume=1.5 -c:a libmp3lame " + ShellQuote(theirs))
                .exitCode,
            0);
  EXPECT_NEAR(MeanVolume(ours), MeanVolume(theirs), 0.15);

  // Doubled, a loud source stops at full scale, as integer samples do.
  ASSERT_TRUE(MakeMedia(Dir->file("loud.m4a"),
                        "-f lavfi -i " + ShellQuote("aevalsrc=0.9*sin(2*PI*440*t):s=44100:d=1") + " -c:a aac"));
  const std::string clipped = Dir->file("clipped.wav");
  ASSERT_FALSE(Convert(Dir->file("loud.m4a"), clipped, {{"acodec", "pcm_f32le"}, {"vol", "512"}}).Exception);
  const std::string raw = DecodedSamples(*Dir, clipped, "f32le");
  ASSERT_GT(raw.size(), 44100u * 4);
  float peak = 0;
  for (size_t i = 0; i + 4 <= raw.size(); i += 4) {
    float sample;
    std::memcpy(&sample, raw.data() + i, 4);
    peak = std::max(peak, std::fabs(sample));
  }
  EXPECT_GT(peak, 0.99f);
  EXPECT_LE(peak, 1.0f);
}

struct TLosslessCase {
  std::string Source, Output, Encoder;
  std::string SampleFormat, Bits, Rate;  // as ffprobe names them
  std::string RawFormat;                 // decoded samples compared
  friend void PrintTo(const TLosslessCase& c, std::ostream* os) { *os << c.Source << " -> " << c.Output; }
};

class LosslessFormats : public AudioFormats, public ::testing::WithParamInterface<TLosslessCase> {};

// The source's bits and rate are kept, and the output decodes to the
// source's very samples.
TEST_P(LosslessFormats, KeepTheSourcesSamples) {
  const TLosslessCase& c = GetParam();
  const std::string out = Dir->file(c.Output);
  const TConversion run = Convert(Dir->file(c.Source), out, {{"acodec", c.Encoder}});
  ASSERT_TRUE(run.Added) << run.Message;
  ASSERT_FALSE(run.Exception) << run.Message;
  const auto probe = ProbeFile(out);
  const int a = FindStream(probe, "audio");
  ASSERT_GE(a, 0) << out;
  EXPECT_EQ(StreamValue(probe, a, "sample_fmt"), c.SampleFormat);
  EXPECT_EQ(StreamValue(probe, a, "bits_per_raw_sample"), c.Bits);
  EXPECT_EQ(StreamValue(probe, a, "sample_rate"), c.Rate);
  EXPECT_EQ(StreamValue(probe, a, "channels"), "2");
  const std::string source = DecodedSamples(*Dir, Dir->file(c.Source), c.RawFormat);
  const std::string output = DecodedSamples(*Dir, out, c.RawFormat);
  ASSERT_FALSE(source.empty());
  EXPECT_EQ(output.size(), source.size());
  EXPECT_TRUE(output == source) << "the decoded samples differ from the source's";
}

INSTANTIATE_TEST_SUITE_P(
    Encoders, LosslessFormats,
    ::testing::Values(TLosslessCase{"deep.wav", "deep.flac", "flac", "s32", "24", "96000", "s32le"},
                      TLosslessCase{"deep.wav", "deep.m4a", "alac", "s32p", "24", "96000", "s32le"},
                      TLosslessCase{"deep.wav", "deep.mkv", "flac", "s32", "24", "96000", "s32le"},
                      TLosslessCase{"plain.wav", "plain.flac", "flac", "s16", "16", "44100", "s16le"},
                      TLosslessCase{"plain.wav", "plain.m4a", "alac", "s16p", "16", "44100", "s16le"}),
    [](const auto& info) {
      std::string name = info.param.Output;
      for (char& ch : name)
        if (ch == '.') ch = '_';
      return name;
    });

}  // namespace
}  // namespace fennick::test
