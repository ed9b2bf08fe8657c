// Audio output: decoded frames to s16, drift correction, resampling, FIFO
// framing, encoding and the end-of-stream flush, driven without the packet
// loop: each case builds one output stream on a real output file and feeds
// it blocks with chosen input timestamps.
#include <gtest/gtest.h>

#include <memory>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "engine/transcode_tables.h"
#include "tests/test_support.h"
#include "tests/transcode_support.h"

namespace fennick {

namespace {

class TAudioTestEngine : public TCustomFFmpeg {
 public:
  using TCustomFFmpeg::DecodedAudioToS16;
  using TCustomFFmpeg::FlushAudio;
  using TCustomFFmpeg::OpenOwnAudioEncoder;
  using TCustomFFmpeg::OutputAudio;
  TAudioTestEngine() {
    FRun = std::make_unique<TTranscodeRun>();
    OnLog = [this](TCustomFFmpeg&, int, const std::string& text) { Lines.push_back(text); };
  }
  int64_t AudioBytes() const { return FRun->AudioBytes(); }
  // The writer of a file the test made, taking its one stream.
  void AddWriter(AVFormatContext* file, std::unique_ptr<TOutputStream> stream) {
    FRun->Writers.push_back(std::make_unique<TOutputWriter>(0, file));
    FRun->Writers.back()->AddStream(std::move(stream));
  }
  bool Logged(const std::string& text) const {
    for (const auto& line : Lines)
      if (line == text) return true;
    return false;
  }
  std::vector<std::string> Lines;
};

struct TRigSpec {
  std::string encoder;  // encoder name, or "amr_nb" for the engine's own
  int outRate = 44100, outChannels = 2;
  int inRate = 44100, inChannels = 2;
  int64_t bitRate = 0;
};

// Interleaved s16 sine at 1 kHz, `count` samples per channel from `start`.
std::vector<int16_t> Tone(int count, int channels, int rate, int64_t start = 0) {
  std::vector<int16_t> samples(size_t(count) * channels);
  for (int i = 0; i < count; ++i)
    for (int c = 0; c < channels; ++c)
      samples[size_t(i) * channels + c] =
          int16_t(10000 * std::sin(2 * M_PI * 1000.0 * double(start + i) / rate));
  return samples;
}

// One output stream writing a real file, fed by one input stream.
class TAudioRig {
 public:
  TAudioTestEngine Engine;
  OutputFormatContextPtr File;
  TInputSync Ist;
  std::unique_ptr<TOutputStream> OwnOst = std::make_unique<TOutputStream>();
  TOutputStream& Ost = *OwnOst;  // the writer's, once the file is open
  AVCodecContext* Enc = nullptr;  // Ost's encoder
  TRigSpec Spec;
  int64_t Fed = 0;  // samples per channel fed so far

  ::testing::AssertionResult Open(const std::string& path, const TRigSpec& spec) {
    Spec = spec;
    AVFormatContext* oc = nullptr;
    if (AVL.avformat_alloc_output_context2(&oc, nullptr, nullptr, path.c_str()) < 0 || !oc)
      return ::testing::AssertionFailure() << "no muxer for " << path;
    File.reset(oc);
    const bool own = spec.encoder == "amr_nb";
    const AVCodec* codec = own ? nullptr : AVL.avcodec_find_encoder_by_name(spec.encoder.c_str());
    if (!own && !codec) return ::testing::AssertionFailure() << "no encoder " << spec.encoder;
    Ost.Encoder.reset(AVL.avcodec_alloc_context3(codec));
    Enc = Ost.Encoder.get();
    Enc->codec_type = AVMEDIA_TYPE_AUDIO;
    Ost.Type = AVMEDIA_TYPE_AUDIO;
    Enc->sample_rate = spec.outRate;
    AVL.av_channel_layout_default(&Enc->ch_layout, spec.outChannels);
    Enc->bit_rate = spec.bitRate;
    Enc->time_base = AVRational{1, spec.outRate};
    if (own) {
      Engine.OpenOwnAudioEncoder(Ost);
    } else {
      Enc->sample_fmt = codec->sample_fmts[0];
      if (oc->oformat->flags & AVFMT_GLOBALHEADER) Enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
      if (AVL.avcodec_open2(Enc, codec, nullptr) < 0)
        return ::testing::AssertionFailure() << "cannot open " << spec.encoder;
    }
    AVStream* st = AVL.avformat_new_stream(oc, nullptr);
    AVL.avcodec_parameters_from_context(st->codecpar, Enc);
    st->time_base = Enc->time_base;
    if (AVL.avio_open(&oc->pb, path.c_str(), AVIO_FLAG_WRITE) < 0 || AVL.avformat_write_header(oc, nullptr) < 0)
      return ::testing::AssertionFailure() << "cannot write the header of " << path;
    Ost.Stream = st;
    Engine.AddWriter(oc, std::move(OwnOst));
    Ist.DecoderRate = spec.inRate;
    Ist.DecoderChannels = spec.inChannels;
    Ist.RequestedChannels = spec.inChannels;
    return ::testing::AssertionSuccess();
  }

  void Feed(const std::vector<int16_t>& block, int64_t ptsUs) {
    TSoundBlock sound;
    sound.Samples = block.data();
    sound.Bytes = int(block.size() * 2);
    sound.Rate = Ist.DecoderRate;
    sound.Channels = Ist.RequestedChannels > 0 ? Ist.RequestedChannels : Ist.DecoderChannels;
    Engine.OutputAudio(File.get(), Ost, ptsUs, sound);
  }
  // Feeds `count` samples of tone stamped with their own position.
  void FeedTone(int count) {
    Feed(Tone(count, Spec.inChannels, Spec.inRate, Fed), Fed * 1000000 / Spec.inRate);
    Fed += count;
  }
  void Finish() {
    Engine.FlushAudio(File.get(), Ost);
    AVL.av_write_trailer(File.get());
  }
  int FifoSamples() const { return Ost.AudioFifo ? AVL.av_audio_fifo_size(Ost.AudioFifo.get()) : 0; }
};

// Samples per channel ffmpeg decodes from a file, at its own rate.
int64_t DecodedSamples(const std::string& path, int channels) {
  const auto r = test::RunCommand("ffmpeg -v error -nostdin -i " + test::ShellQuote(path) +
                                  " -f s16le - | wc -c");
  if (r.exitCode != 0) return -1;
  return std::stoll(r.output) / (2 * channels);
}

class AudioOutput : public ::testing::Test {
 protected:
  void SetUp() override { test::RequireLibraries(); }
  test::TempDir Dir;
};

// ---- decoded frames to interleaved s16

FramePtr MakeFrame(AVSampleFormat format, int channels, int rate, int count) {
  FramePtr frame(AVL.av_frame_alloc());
  frame->format = format;
  frame->sample_rate = rate;
  frame->nb_samples = count;
  AVL.av_channel_layout_default(&frame->ch_layout, channels);
  EXPECT_GE(AVL.av_frame_get_buffer(frame.get(), 0), 0);
  return frame;
}

TEST_F(AudioOutput, InterleavedS16PassesThroughUntouchedAtUnitVolume) {
  TAudioTestEngine engine;
  TInputSync ist;
  ist.RequestedChannels = 2;
  FramePtr frame = MakeFrame(AV_SAMPLE_FMT_S16, 2, 44100, 64);
  int bytes = 0;
  const int16_t* out = engine.DecodedAudioToS16(ist, *frame, bytes);
  EXPECT_EQ(out, reinterpret_cast<const int16_t*>(frame->data[0]));
  EXPECT_EQ(bytes, 64 * 2 * 2);
  EXPECT_FALSE(ist.DecodeConvert);
}

TEST_F(AudioOutput, VolumeScalesWithRoundingAndClamps) {
  struct Case {
    int volume;
    int16_t in, out;
  };
  const Case cases[] = {{512, 100, 200},       {512, -100, -200},    {512, 20000, 32767}, {512, -20000, -32768},
                        {512, 32767, 32767},   {512, -32768, -32768}, {128, 101, 51},     {128, -101, -50},
                        {0, 12345, 0},         {300, 1000, 1172},
                        // The ends of the 32-bit range saturate, never overflow.
                        {INT_MAX, 1000, 32767}, {INT_MAX, -1000, -32768}, {INT_MIN, 1000, -32768}};
  for (const auto& c : cases) {
    TAudioTestEngine engine;
    engine.MutableSettings().AudioVolume = c.volume;
    TInputSync ist;
    ist.RequestedChannels = 1;
    FramePtr frame = MakeFrame(AV_SAMPLE_FMT_S16, 1, 44100, 4);
    for (int i = 0; i < 4; ++i) reinterpret_cast<int16_t*>(frame->data[0])[i] = c.in;
    int bytes = 0;
    const int16_t* out = engine.DecodedAudioToS16(ist, *frame, bytes);
    ASSERT_EQ(bytes, 8);
    EXPECT_EQ(out[3], c.out) << "volume " << c.volume << " sample " << c.in;
    // The decoder's own frame is left alone.
    EXPECT_EQ(reinterpret_cast<int16_t*>(frame->data[0])[3], c.in);
  }
}

TEST_F(AudioOutput, PlanarFloatBecomesInterleavedS16AtTheRequestedChannels) {
  TAudioTestEngine engine;
  TInputSync ist;
  ist.RequestedChannels = 2;
  FramePtr frame = MakeFrame(AV_SAMPLE_FMT_FLTP, 2, 48000, 256);
  for (int i = 0; i < 256; ++i) {
    reinterpret_cast<float*>(frame->data[0])[i] = 0.5f;
    reinterpret_cast<float*>(frame->data[1])[i] = -0.25f;
  }
  int bytes = 0;
  const int16_t* out = engine.DecodedAudioToS16(ist, *frame, bytes);
  ASSERT_EQ(bytes, 256 * 2 * 2);
  EXPECT_NEAR(out[0], 16384, 1);
  EXPECT_NEAR(out[1], -8192, 1);
  EXPECT_NEAR(out[511], -8192, 1);
  SwrContext* first = ist.DecodeConvert.get();
  ASSERT_NE(first, nullptr);
  engine.DecodedAudioToS16(ist, *frame, bytes);
  EXPECT_EQ(ist.DecodeConvert.get(), first) << "one converter per input stream";

  // Stereo delivered as mono when the output asks for one channel.
  TInputSync mono;
  mono.RequestedChannels = 1;
  out = engine.DecodedAudioToS16(mono, *frame, bytes);
  EXPECT_EQ(bytes, 256 * 2);

  // A format change mid-stream gets a new converter.
  FramePtr s16p = MakeFrame(AV_SAMPLE_FMT_S16P, 2, 48000, 16);
  for (int i = 0; i < 16; ++i) {
    reinterpret_cast<int16_t*>(s16p->data[0])[i] = 7;
    reinterpret_cast<int16_t*>(s16p->data[1])[i] = -7;
  }
  out = engine.DecodedAudioToS16(ist, *s16p, bytes);
  ASSERT_EQ(bytes, 16 * 2 * 2);
  EXPECT_EQ(out[0], 7);
  EXPECT_EQ(out[1], -7);
  EXPECT_EQ(ist.DecodeConvertFormat, AV_SAMPLE_FMT_S16P);
}

// ---- drift correction

TEST_F(AudioOutput, DefaultSyncFollowsTheInputTimestampsWithoutCorrection) {
  TAudioRig rig;
  ASSERT_TRUE(rig.Open(Dir.file("a.wav"), {"pcm_s16le"}));
  rig.Engine.SetVerbosity(3);
  const auto block = Tone(1024, 2, 44100);
  rig.Feed(block, 1000000);  // starts 1 s late
  EXPECT_EQ(rig.Ost.SyncCount, 44100 + 1024);
  rig.Feed(block, 3000000);  // 2 s gap
  EXPECT_EQ(rig.Ost.SyncCount, 3 * 44100 + 1024);
  rig.Feed(block, 2000000);  // back in time
  EXPECT_EQ(rig.Ost.SyncCount, 2 * 44100 + 1024);
  EXPECT_EQ(rig.Engine.AudioBytes(), 3 * 1024 * 4) << "nothing inserted or trimmed";
  for (const auto& line : rig.Engine.Lines) EXPECT_EQ(line.find("audio samples"), std::string::npos) << line;
  EXPECT_TRUE(rig.Ost.AudioStart);
  rig.Finish();
}

TEST_F(AudioOutput, DefaultSyncCountsTheFifoRemainder) {
  TAudioRig rig;
  ASSERT_TRUE(rig.Open(Dir.file("a.m4a"), {"aac", 44100, 2, 44100, 2, 128000}));
  rig.FeedTone(1500);
  EXPECT_EQ(rig.Ost.SyncCount, 1024);
  EXPECT_EQ(rig.FifoSamples(), 476);
  rig.FeedTone(1500);  // stamped 1500 samples in: the FIFO's 476 come first
  EXPECT_EQ(rig.Ost.SyncCount, 2048);
  EXPECT_EQ(rig.FifoSamples(), 952);
  rig.Finish();
}

TEST_F(AudioOutput, LateStartGetsLeadingSilence) {
  TAudioRig rig;
  ASSERT_TRUE(rig.Open(Dir.file("a.wav"), {"pcm_s16le"}));
  rig.Engine.MutableSettings().AudioSyncMethod = 1;
  rig.Engine.SetVerbosity(3);
  rig.Feed(Tone(1024, 2, 44100), 500000);
  EXPECT_TRUE(rig.Engine.Logged("adding 22050 audio samples of silence"));
  EXPECT_FALSE(rig.Ost.AudioStart);
  EXPECT_EQ(rig.Ost.SyncCount, 22050 + 1024);
  EXPECT_EQ(rig.Engine.AudioBytes(), 88200 + 4096);
  rig.Finish();
  // The silence is in the file, ahead of the tone.
  EXPECT_EQ(DecodedSamples(Dir.file("a.wav"), 2), 22050 + 1024);
}

TEST_F(AudioOutput, LongDelayIsFilledWithContinuousSilence) {
  TAudioRig rig;
  // 6 channels: 12 bytes per sample frame, not a divisor of the piece size.
  ASSERT_TRUE(rig.Open(Dir.file("a.wav"), {"pcm_s16le", 44100, 6, 44100, 6}));
  rig.Engine.MutableSettings().AudioSyncMethod = 1;
  rig.Engine.SetVerbosity(3);
  rig.Feed(Tone(1000, 6, 44100), 4000000);
  EXPECT_TRUE(rig.Engine.Logged("adding 176400 audio samples of silence"));
  EXPECT_FALSE(rig.Ost.AudioStart) << "nothing of the delay is left owing";
  EXPECT_EQ(rig.Ost.SyncCount, 176400 + 1000);
  rig.Feed(Tone(1000, 6, 44100, 1000), 4000000 + 1000 * 1000000LL / 44100);
  EXPECT_EQ(rig.Engine.AudioBytes(), (176400 + 2000) * 12) << "the second block follows the first directly";
  rig.Finish();
  EXPECT_EQ(DecodedSamples(Dir.file("a.wav"), 6), 176400 + 2000);
}

TEST_F(AudioOutput, DriftThresholdOfFiftySamples) {
  struct Case {
    int64_t syncCount;  // input is at 44100 samples
    int64_t after;      // SyncCount after one 1024-sample block
    const char* line;
    bool isStart;
  };
  const Case cases[] = {
      {44050, 44050 + 1024, nullptr, true},
      {44150, 44150 + 1024, nullptr, true},
      {44049, 44049 + 51 + 1024, "adding 51 audio samples of silence", false},
      {44151, 44151 + 1024 - 51, "discarding 51 audio samples", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.syncCount);
    TAudioRig rig;
    ASSERT_TRUE(rig.Open(Dir.file("d" + std::to_string(c.syncCount) + ".wav"), {"pcm_s16le"}));
    rig.Engine.MutableSettings().AudioSyncMethod = 1;
    rig.Engine.SetVerbosity(3);
    rig.Ost.SyncCount = c.syncCount;
    rig.Feed(Tone(1024, 2, 44100), 1000000);
    EXPECT_EQ(rig.Ost.SyncCount, c.after);
    EXPECT_EQ(rig.Ost.AudioStart, c.isStart);
    if (c.line)
      EXPECT_TRUE(rig.Engine.Logged(c.line));
    else
      EXPECT_TRUE(rig.Engine.Lines.empty());
    rig.Finish();
  }
}

TEST_F(AudioOutput, TrimmingMoreThanTheBlockDropsIt) {
  TAudioRig rig;
  ASSERT_TRUE(rig.Open(Dir.file("a.wav"), {"pcm_s16le"}));
  rig.Engine.MutableSettings().AudioSyncMethod = 1;
  rig.Ost.SyncCount = 44100 + 5000;
  rig.Feed(Tone(1024, 2, 44100), 1000000);
  EXPECT_EQ(rig.Engine.AudioBytes(), 0);
  EXPECT_EQ(rig.Ost.SyncCount, 44100 + 5000);
  EXPECT_TRUE(rig.Ost.AudioStart) << "still early: the next block is trimmed too";
  rig.Finish();
}

TEST_F(AudioOutput, SoftCorrectionAsksTheResamplerToCompensate) {
  struct Case {
    int method;
    int64_t syncCount;  // input is at 48000 samples
    const char* line;
  };
  const Case cases[] = {
      {1000, 47800, "compensating audio timestamp drift:200.00 compensation:200 in:48000"},
      {100, 47800, "compensating audio timestamp drift:200.00 compensation:100 in:48000"},
      {1000, 48200, "compensating audio timestamp drift:-200.00 compensation:-200 in:48000"},
      // Above the 0.1 s threshold (4800 samples) the correction is hard.
      {1000, 43000, "adding 5000 audio samples of silence"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    TAudioRig rig;
    ASSERT_TRUE(rig.Open(Dir.file("c.wav"), {"pcm_s16le", 48000, 2, 48000, 2}));
    rig.Engine.MutableSettings().AudioSyncMethod = c.method;
    rig.Engine.SetVerbosity(3);
    rig.Ost.AudioStart = false;
    rig.Ost.SyncCount = c.syncCount;
    rig.Feed(Tone(1024, 2, 48000), 1000000);
    EXPECT_TRUE(rig.Engine.Logged(c.line));
    EXPECT_EQ(rig.Engine.Lines.size(), 1u);
    EXPECT_TRUE(rig.Ost.ResampleContext);
    rig.Finish();
  }
}

TEST_F(AudioOutput, CompensationStretchesTheOutput) {
  TAudioRig rig;
  ASSERT_TRUE(rig.Open(Dir.file("c.wav"), {"pcm_s16le", 48000, 1, 48000, 1}));
  rig.Engine.MutableSettings().AudioSyncMethod = 1000;
  rig.Ost.AudioStart = false;
  // The input runs 200 samples ahead of the output throughout.
  int64_t in = 0;
  for (int i = 0; i < 50; ++i) {
    rig.Feed(Tone(960, 1, 48000, in), (in + 200) * 1000000 / 48000);
    in += 960;
  }
  rig.Finish();
  EXPECT_GT(rig.Engine.AudioBytes() / 2, in + 100) << "most of the 200 samples added within one second";
  EXPECT_LT(rig.Engine.AudioBytes() / 2, in + 220);
}

TEST_F(AudioOutput, RateAndChannelConversionUsesOneResampler) {
  TAudioRig rig;
  ASSERT_TRUE(rig.Open(Dir.file("r.wav"), {"pcm_s16le", 44100, 2, 22050, 1}));
  EXPECT_FALSE(rig.Ost.ResampleContext);
  rig.FeedTone(1024);
  SwrContext* resampler = rig.Ost.ResampleContext.get();
  ASSERT_NE(resampler, nullptr);
  EXPECT_TRUE(rig.Ost.AudioResample);
  for (int i = 0; i < 20; ++i) rig.FeedTone(1024);
  EXPECT_EQ(rig.Ost.ResampleContext.get(), resampler);
  rig.Finish();
  const int64_t expected = 2 * rig.Fed;
  EXPECT_NEAR(double(rig.Engine.AudioBytes() / 4), double(expected), 2.0);
  const auto probe = test::ProbeFile(Dir.file("r.wav"));
  EXPECT_EQ(test::StreamValue(probe, 0, "sample_rate"), "44100");
  EXPECT_EQ(test::StreamValue(probe, 0, "channels"), "2");
}

TEST_F(AudioOutput, MissingResamplerIsReported) {
  TAudioRig rig;
  ASSERT_TRUE(rig.Open(Dir.file("r.wav"), {"pcm_s16le", 44100, 2, 22050, 1}));
  rig.Ist.DecoderRate = 0;
  try {
    rig.Feed(Tone(64, 1, 22050), 0);
    ADD_FAILURE() << "no exception";
  } catch (const FFMpegException& e) {
    EXPECT_STREQ(e.what(), "Can not resample 1 channels @ 0 Hz to 2 channels @ 44100 Hz");
  }
  EXPECT_FALSE(rig.Ost.ResampleContext);
}

// ---- encoders, framing and the end-of-stream flush

struct TEncoderCase {
  const char* file;
  TRigSpec spec;
  const char* codecName;  // as ffprobe reports it
  bool shortLastFrame;
};

void PrintTo(const TEncoderCase& c, std::ostream* os) { *os << c.file << " " << c.spec.encoder; }

class AudioEncoders : public AudioOutput, public ::testing::WithParamInterface<TEncoderCase> {};

// Samples the ffmpeg command's own encoding of the same second decodes to
// (some decoders drop a frame's worth at the start); -1 without that encoder.
int64_t ReferenceSamples(const test::TempDir& dir, const TEncoderCase& c) {
  if (c.spec.encoder == "amr_nb") return -1;
  const std::string path = dir.file(std::string("ref-") + c.file);
  const std::string args = "-f lavfi -i sine=frequency=1000:sample_rate=" + std::to_string(c.spec.inRate) +
                           ":duration=1 -ar " + std::to_string(c.spec.outRate) + " -ac " +
                           std::to_string(c.spec.outChannels) + " -c:a " + c.spec.encoder +
                           (c.spec.bitRate ? " -b:a " + std::to_string(c.spec.bitRate) : std::string());
  if (!test::MakeMedia(path, args)) return -1;
  return DecodedSamples(path, c.spec.outChannels);
}

TEST_P(AudioEncoders, OneSecondOfToneMakesAValidFile) {
  const TEncoderCase& c = GetParam();
  TAudioRig rig;
  const std::string path = Dir.file(c.file);
  ASSERT_TRUE(rig.Open(path, c.spec));
  // Odd block sizes so that the FIFO always keeps a remainder.
  while (rig.Fed < c.spec.inRate) rig.FeedTone(int(std::min<int64_t>(1000, c.spec.inRate - rig.Fed)));
  rig.Finish();
  const auto probe = test::ProbeFile(path);
  ASSERT_FALSE(probe.empty()) << "ffprobe refuses " << path;
  EXPECT_EQ(test::StreamValue(probe, 0, "codec_name"), c.codecName);
  EXPECT_EQ(test::StreamValue(probe, 0, "sample_rate"), std::to_string(c.spec.outRate));
  EXPECT_EQ(test::StreamValue(probe, 0, "channels"), std::to_string(c.spec.outChannels));
  const double duration = std::stod(probe.at("format.duration"));
  EXPECT_NEAR(duration, 1.0, 0.06);
  // Every input sample was encoded; a padded last frame adds at most one frame.
  const int64_t decoded = DecodedSamples(path, c.spec.outChannels);
  const int frame = std::max(rig.Enc->frame_size, 1);
  const int64_t reference = ReferenceSamples(Dir, c);
  EXPECT_GE(decoded, (reference < 0 ? c.spec.outRate : std::min<int64_t>(reference, c.spec.outRate)) - 2);
  EXPECT_LE(decoded, c.spec.outRate + (c.shortLastFrame ? 2 : frame) + rig.Enc->initial_padding);
  EXPECT_GT(rig.Engine.AudioBytes(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, AudioEncoders,
    ::testing::Values(TEncoderCase{"a.wav", {"pcm_s16le"}, "pcm_s16le", true},
                      TEncoderCase{"a.au", {"pcm_s16be", 22050, 1, 44100, 2}, "pcm_s16be", true},
                      TEncoderCase{"a.m4a", {"aac", 44100, 2, 44100, 2, 128000}, "aac", true},
                      TEncoderCase{"a.mp3", {"libmp3lame", 44100, 2, 48000, 2, 128000}, "mp3", true},
                      TEncoderCase{"a.mp2", {"mp2", 44100, 2, 44100, 2, 192000}, "mp2", false},
                      TEncoderCase{"a.ac3", {"ac3", 48000, 2, 44100, 2, 192000}, "ac3", false},
                      TEncoderCase{"a.wma", {"wmav2", 44100, 2, 44100, 2, 128000}, "wmav2", false},
                      TEncoderCase{"a.ogg", {"libvorbis", 44100, 2, 44100, 2, 128000}, "vorbis", true},
                      TEncoderCase{"a.3gp", {"amr_nb", 8000, 1, 8000, 1, 12200}, "amr_nb", false}),
    [](const auto& info) { return std::string(info.param.spec.encoder); });

TEST_F(AudioOutput, ShortLastFrameKeepsTheExactLength) {
  TAudioRig rig;
  ASSERT_TRUE(rig.Open(Dir.file("s.m4a"), {"aac", 44100, 1, 44100, 1, 64000}));
  rig.FeedTone(1500);
  EXPECT_EQ(rig.FifoSamples(), 476);
  rig.Finish();
  EXPECT_EQ(rig.FifoSamples(), 0);
  // The stream's length excludes the encoder's priming and any padding.
  const auto probe = test::ProbeFile(Dir.file("s.m4a"));
  EXPECT_NEAR(std::stod(test::StreamValue(probe, 0, "duration_ts")), 1500, 1);
}

TEST_F(AudioOutput, AmrNbRoundTripKeepsTheTone) {
  TAudioRig rig;
  const std::string path = Dir.file("t.3gp");
  // Mono 44100 in, resampled to the encoder's 8000 Hz.
  ASSERT_TRUE(rig.Open(path, {"amr_nb", 44100, 2, 44100, 1, 64000}));
  EXPECT_EQ(rig.Enc->sample_rate, 8000);
  EXPECT_EQ(rig.Enc->ch_layout.nb_channels, 1);
  EXPECT_EQ(rig.Enc->frame_size, 160);
  EXPECT_EQ(rig.Enc->bit_rate, 12200);
  while (rig.Fed < 44100) rig.FeedTone(int(std::min<int64_t>(1000, 44100 - rig.Fed)));
  rig.Finish();
  const auto probe = test::ProbeFile(path);
  EXPECT_EQ(test::StreamValue(probe, 0, "codec_name"), "amr_nb");
  EXPECT_EQ(test::StreamValue(probe, 0, "sample_rate"), "8000");
  EXPECT_EQ(test::StreamValue(probe, 0, "channels"), "1");
  EXPECT_NEAR(std::stod(probe.at("format.duration")), 1.0, 0.03);
  const auto r = test::RunCommand("ffmpeg -v info -nostdin -i " + test::ShellQuote(path) +
                                  " -af volumedetect -f null - 2>&1 | grep max_volume");
  const auto at = r.output.find("max_volume: ");
  ASSERT_NE(at, std::string::npos) << r.output;
  EXPECT_GT(std::stod(r.output.substr(at + 12)), -20.0) << "the tone is audible";
}

TEST(AmrNbEncoder, ModeFollowsTheBitRate) {
  struct Case {
    int64_t bitRate;
    int mode;
  };
  const Case cases[] = {{12200, 7}, {12199, 6}, {64000, 7}, {4750, 0}, {1000, 0}, {0, 7}, {7950, 5}, {7949, 4}};
  for (const auto& c : cases) EXPECT_EQ(TAmrNbEncoder::ModeForBitRate(c.bitRate), c.mode) << c.bitRate;
  TAmrNbEncoder encoder;
  ASSERT_TRUE(encoder.Open(5900));
  EXPECT_EQ(encoder.BitRate(), 5900);
  int16_t silence[TAmrNbEncoder::kFrameSize] = {};
  uint8_t out[TAmrNbEncoder::kMaxPacketSize];
  const int size = encoder.Encode(silence, out, sizeof out);
  EXPECT_EQ(size, 16) << "5.9 kbit/s: TOC byte + 15 bytes";
  EXPECT_EQ((out[0] >> 3) & 0x0F, 2) << "mode in the TOC byte";
}

// ---- through the whole conversion

class AudioConversion : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    test::RequireLibraries();
    Dir = std::make_unique<test::TempDir>();
    // Video from 0 to 2 s, a tone from 0.5 to 2 s.
    ASSERT_TRUE(test::MakeMedia(Dir->file("late.mkv"),
                                "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -itsoffset 0.5 -f lavfi -i "
                                "sine=frequency=440:sample_rate=44100:duration=1.5 -c:v mpeg4 -c:a pcm_s16le"));
  }
  static void TearDownTestSuite() {
    Dir.reset();
  }
  static double MaxVolume(const std::string& path, double from, double to) {
    const auto r = test::RunCommand("ffmpeg -v info -nostdin -i " + test::ShellQuote(path) +
                                    " -vn -af atrim=" + std::to_string(from) + ":" + std::to_string(to) +
                                    ",volumedetect -f null - 2>&1 | grep max_volume");
    const auto at = r.output.find("max_volume: ");
    return at == std::string::npos ? 0 : std::stod(r.output.substr(at + 12));
  }
  static std::unique_ptr<test::TempDir> Dir;
};
std::unique_ptr<test::TempDir> AudioConversion::Dir;

TEST_F(AudioConversion, LateAudioKeepsItsOffsetByDefault) {
  const std::string out = Dir->file("late-default.mp4");
  const auto run = test::Convert(Dir->file("late.mkv"), out, {{"vcodec", "mpeg4"}, {"acodec", "aac"}});
  ASSERT_TRUE(run.Added) << run.Message;
  ASSERT_FALSE(run.Exception) << run.Message;
  const auto probe = test::ProbeFile(out);
  const int a = test::FindStream(probe, "audio"), v = test::FindStream(probe, "video");
  ASSERT_GE(a, 0);
  ASSERT_GE(v, 0);
  EXPECT_NEAR(std::stod(test::StreamValue(probe, v, "start_time")), 0.0, 0.01);
  // The encoder's priming (1024 samples) shows ahead of the tone.
  EXPECT_NEAR(std::stod(test::StreamValue(probe, a, "start_time")), 0.5, 0.03);
  EXPECT_NEAR(std::stod(test::StreamValue(probe, a, "duration")), 1.5, 0.05);
}

TEST_F(AudioConversion, LateAudioGetsLeadingSilenceWithAudioSync) {
  // The same with the codecs on the task's thread and on four codec threads.
  for (const int threads : {1, 4}) {
    const std::string out = Dir->file("late-async-" + std::to_string(threads) + ".mp4");
    const auto run =
        test::Convert(Dir->file("late.mkv"), out, {{"vcodec", "mpeg4"}, {"acodec", "aac"}, {"async", "1"}, {"v", "3"}},
                      {}, [threads](TCustomFFmpeg& engine) { engine.SetThreadCount(threads); });
    ASSERT_TRUE(run.Added) << run.Message;
    ASSERT_FALSE(run.Exception) << run.Message;
    EXPECT_TRUE(run.Logged("adding 22050 audio samples of silence")) << threads;
    const auto probe = test::ProbeFile(out);
    const int a = test::FindStream(probe, "audio");
    ASSERT_GE(a, 0);
    EXPECT_NEAR(std::stod(test::StreamValue(probe, a, "start_time")), 0.0, 0.03) << threads;
    EXPECT_NEAR(std::stod(test::StreamValue(probe, a, "duration")), 2.0, 0.05) << threads;
    EXPECT_EQ(test::CountFrames(out, "video"), 50) << threads;
    EXPECT_LT(MaxVolume(out, 0.0, 0.45), -60) << "silence first";
    EXPECT_GT(MaxVolume(out, 0.55, 1.5), -30) << "then the tone";
  }
}

TEST_F(AudioConversion, LateAudioGetsLeadingSilenceWhereTheContainerCannotStoreItsStart) {
  // AVI counts samples from the file's start: without the silence the tone
  // would play from 0 s, half a second ahead of its picture.
  const std::string out = Dir->file("late.avi");
  const auto run = test::Convert(Dir->file("late.mkv"), out, {{"vcodec", "mpeg4"}, {"acodec", "mp2"}});
  ASSERT_TRUE(run.Added) << run.Message;
  ASSERT_FALSE(run.Exception) << run.Message;
  EXPECT_LT(MaxVolume(out, 0.0, 0.45), -60) << "silence first";
  EXPECT_GT(MaxVolume(out, 0.55, 1.5), -30) << "then the tone";
}

TEST_F(AudioConversion, MoreChannelsThanTheEncoderTakesBecomeTheNearestLayout) {
  // No "ac": the output asks for the source's channels, which mp3 (mono or
  // stereo) and ac3 (up to 5.1) cannot take.
  ASSERT_TRUE(test::MakeMedia(Dir->file("six.wav"), "-f lavfi -i sine=duration=1 -af aformat=channel_layouts=5.1"));
  ASSERT_TRUE(test::MakeMedia(Dir->file("eight.wav"), "-f lavfi -i sine=duration=1 -af aformat=channel_layouts=7.1"));
  const struct {
    const char *input, *output, *layout;
  } cases[] = {{"six.wav", "six.mp3", "stereo"}, {"eight.wav", "eight.ac3", "5.1(side)"}};
  for (const auto& c : cases) {
    const std::string out = Dir->file(c.output);
    const auto run = test::Convert(Dir->file(c.input), out, {});
    ASSERT_TRUE(run.Added) << run.Message;
    ASSERT_FALSE(run.Exception) << run.Message;
    const auto probe = test::ProbeFile(out);
    const int a = test::FindStream(probe, "audio");
    ASSERT_GE(a, 0) << c.output;
    EXPECT_EQ(test::StreamValue(probe, a, "channel_layout"), c.layout) << c.output;
    EXPECT_GT(MaxVolume(out, 0.1, 0.9), -30) << c.output;
  }
}

}  // namespace
}  // namespace fennick
