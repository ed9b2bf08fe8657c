#include <gtest/gtest.h>

#include <filesystem>

#include "engine/FFmpeg.h"
#include "tests/test_support.h"

namespace fennick {
namespace {

namespace fs = std::filesystem;

class OutputFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RequireLibraries();
    engine.Reset();
  }
  // A short clip with the given kinds added as the engine's input.
  void AddClip(const std::string& name, bool video, bool audio) {
    test::ClipSpec spec;
    spec.width = 64;
    spec.height = 48;
    spec.seconds = 0.2;
    spec.video = video;
    spec.audio = audio;
    const std::string path = dir.file(name);
    ASSERT_TRUE(test::MakeClip(path, spec));
    ASSERT_TRUE(engine.AddInputFile(path)) << engine.LastErrorText();
  }
  static std::string StreamKinds(const TOutputFileSlot& file) {
    std::string kinds;
    for (const auto& st : file.Streams) kinds += AVL.av_get_media_type_string(st.Codec->codec_type)[0];
    return kinds;
  }
  TCustomFFmpeg engine;
  test::TempDir dir;
};

TEST_F(OutputFiles, UnknownExtensionWithoutForcedFormatFails) {
  const std::string out = dir.file("clip é.notaformat");
  EXPECT_FALSE(engine.AddOutputFile(out));
  EXPECT_EQ(engine.LastErrorText(), "Unable to find a suitable output format for '" + out + "'");
  EXPECT_EQ(engine.OutputCount(), 0);
}

TEST_F(OutputFiles, KindsFollowTheInputsAndVnAppliesToOneOutputOnly) {
  AddClip("audio only.m4a", false, true);
  ASSERT_TRUE(engine.AddOutputFile(dir.file("from audio.mp4"))) << engine.LastErrorText();
  EXPECT_EQ(StreamKinds(engine.OutputFile(0)), "a");

  engine.Reset();
  AddClip("both.mp4", true, true);
  engine.MutableSettings().VideoDisable = true;
  engine.MutableSettings().VideoCodecName = "mpeg4";
  ASSERT_TRUE(engine.AddOutputFile(dir.file("no video.avi"))) << engine.LastErrorText();
  EXPECT_EQ(StreamKinds(engine.OutputFile(0)), "a");
  ASSERT_TRUE(engine.AddOutputFile(dir.file("with video.avi"))) << engine.LastErrorText();
  EXPECT_EQ(StreamKinds(engine.OutputFile(1)), "va");
}

TEST_F(OutputFiles, VideoStreamTakesTheSettings) {
  auto& s = engine.MutableSettings();
  s.FrameWidth = 720;
  s.FrameHeight = 576;
  s.AspectRatio = 4.0f / 3.0f;
  s.FrameRate = AVRational{25, 1};
  s.PixelFormat = AV_PIX_FMT_RGB24;  // not offered by libxvid: its first format is taken
  s.VideoCodecName = "libxvid";
  s.VideoQScale = 4;
  s.IntraOnly = true;
  s.DoPass = 1;
  s.RcOverride = "0,10,2/11,20,-50";
  s.IntraMatrix.assign(64, 16);
  s.AudioDisable = true;
  ASSERT_TRUE(engine.AddOutputFile(dir.file("résumé clip.mp4"))) << engine.LastErrorText();

  const auto& file = engine.OutputFile(0);
  ASSERT_EQ(file.Streams.size(), 1u);
  const auto& st = file.Streams[0];
  const AVCodecContext* c = st.Codec.get();
  ASSERT_NE(st.Encoder, nullptr);
  EXPECT_STREQ(st.Encoder->name, "libxvid");
  EXPECT_FALSE(st.StreamCopy);
  EXPECT_EQ(c->codec_id, AV_CODEC_ID_MPEG4);
  EXPECT_EQ(c->codec_type, AVMEDIA_TYPE_VIDEO);
  EXPECT_EQ(c->width, 720);
  EXPECT_EQ(c->height, 576);
  EXPECT_EQ(c->sample_aspect_ratio.num, 16);
  EXPECT_EQ(c->sample_aspect_ratio.den, 15);
  EXPECT_EQ(c->pix_fmt, AV_PIX_FMT_YUV420P);
  EXPECT_EQ(av_cmp_q(c->time_base, AVRational{1, 25}), 0);
  EXPECT_EQ(c->gop_size, 0);
  EXPECT_TRUE(c->flags & AV_CODEC_FLAG_QSCALE);
  EXPECT_EQ(c->global_quality, 4 * FF_QP2LAMBDA);
  EXPECT_EQ(st.Quality, 4.0f * FF_QP2LAMBDA);
  EXPECT_TRUE(c->flags & AV_CODEC_FLAG_PASS1);
  EXPECT_TRUE(c->flags & AV_CODEC_FLAG_GLOBAL_HEADER);  // mp4 wants global headers
  ASSERT_EQ(c->rc_override_count, 2);
  EXPECT_EQ(c->rc_override[0].start_frame, 0);
  EXPECT_EQ(c->rc_override[0].end_frame, 10);
  EXPECT_EQ(c->rc_override[0].qscale, 2);
  EXPECT_EQ(c->rc_override[1].qscale, 0);
  EXPECT_FLOAT_EQ(c->rc_override[1].quality_factor, 0.5f);
  ASSERT_NE(c->intra_matrix, nullptr);
  EXPECT_EQ(c->intra_matrix[63], 16);
  EXPECT_EQ(c->inter_matrix, nullptr);
  // Consumed by the stream.
  EXPECT_TRUE(engine.Settings().VideoCodecName.empty());
  // Nothing appears under the output's name before the file is complete.
  EXPECT_FALSE(fs::exists(dir.file("résumé clip.mp4")));
}

TEST_F(OutputFiles, FrameRateSnapsToTheEncodersSupportedRates) {
  auto& s = engine.MutableSettings();
  s.FrameWidth = 352;
  s.FrameHeight = 288;
  s.FrameRate = AVRational{26, 1};
  s.VideoCodecName = "mpeg1video";
  s.AudioDisable = true;
  ASSERT_TRUE(engine.AddOutputFile(dir.file("snap.mpg"))) << engine.LastErrorText();
  const AVCodecContext* c = engine.OutputFile(0).Streams[0].Codec.get();
  EXPECT_EQ(av_cmp_q(c->time_base, AVRational{1, 25}), 0);
  EXPECT_EQ(av_cmp_q(c->framerate, AVRational{25, 1}), 0);
}

TEST_F(OutputFiles, AudioStreamTakesTheSettings) {
  auto& s = engine.MutableSettings();
  s.VideoDisable = true;
  s.AudioSampleRate = 48000;
  s.AudioChannels = 1;
  s.AudioCodecName = "libfaac";
  s.AudioLanguage = "english";
  ASSERT_TRUE(engine.AddOutputFile(dir.file("sound.mp4"))) << engine.LastErrorText();
  const auto& st = engine.OutputFile(0).Streams.at(0);
  const AVCodecContext* c = st.Codec.get();
  ASSERT_NE(st.Encoder, nullptr);
  EXPECT_STREQ(st.Encoder->name, "aac");
  EXPECT_EQ(c->codec_type, AVMEDIA_TYPE_AUDIO);
  EXPECT_EQ(c->codec_id, AV_CODEC_ID_AAC);
  EXPECT_EQ(c->sample_rate, 48000);
  EXPECT_EQ(c->ch_layout.nb_channels, 1);
  EXPECT_EQ(c->sample_fmt, AV_SAMPLE_FMT_FLTP);
  EXPECT_EQ(av_cmp_q(c->time_base, AVRational{1, 48000}), 0);
  const AVDictionaryEntry* lang = AVL.av_dict_get(st.Stream->metadata, "language", nullptr, 0);
  ASSERT_NE(lang, nullptr);
  EXPECT_STREQ(lang->value, "eng");
  EXPECT_TRUE(engine.Settings().AudioLanguage.empty());
}

TEST_F(OutputFiles, AmrNbUsesTheEnginesOwnEncoder) {
  auto& s = engine.MutableSettings();
  s.VideoDisable = true;
  s.AudioCodecName = "libamr_nb";
  s.AudioSampleRate = 8000;
  s.AudioChannels = 1;
  ASSERT_TRUE(engine.AddOutputFile(dir.file("phone.3gp"))) << engine.LastErrorText();
  const auto& st = engine.OutputFile(0).Streams.at(0);
  EXPECT_TRUE(st.OwnAmrNbEncoder);
  EXPECT_EQ(st.Encoder, nullptr);
  EXPECT_EQ(st.Codec->codec_id, AV_CODEC_ID_AMR_NB);
}

TEST_F(OutputFiles, StreamCopyIsMarkedAndLeftToTheSetUp) {
  AddClip("source.mp4", true, true);
  engine.MutableSettings().VideoStreamCopy = true;
  engine.MutableSettings().AudioStreamCopy = true;
  ASSERT_TRUE(engine.AddOutputFile(dir.file("copy.mkv"))) << engine.LastErrorText();
  const auto& file = engine.OutputFile(0);
  ASSERT_EQ(file.Streams.size(), 2u);
  EXPECT_TRUE(file.Streams[0].StreamCopy);
  EXPECT_TRUE(file.Streams[1].StreamCopy);
  EXPECT_FALSE(engine.Settings().VideoStreamCopy);
}

TEST_F(OutputFiles, RateControlOverridesTakeTheWholeIntegerRangeAndNoMore) {
  auto& s = engine.MutableSettings();
  s.FrameWidth = 160;
  s.FrameHeight = 120;
  s.VideoCodecName = "mpeg4";
  s.AudioDisable = true;
  s.RcOverride = "0,1,-2147483648";
  ASSERT_TRUE(engine.AddOutputFile(dir.file("lowest.avi"))) << engine.LastErrorText();
  const AVCodecContext* c = engine.OutputFile(0).Streams[0].Codec.get();
  ASSERT_EQ(c->rc_override_count, 1);
  EXPECT_EQ(c->rc_override[0].qscale, 0);
  EXPECT_FLOAT_EQ(c->rc_override[0].quality_factor, 21474836.48f);

  s.VideoCodecName = "mpeg4";
  s.RcOverride = "0,1,2147483648";
  EXPECT_FALSE(engine.AddOutputFile(dir.file("beyond.avi")));
  EXPECT_EQ(engine.LastErrorText(), "new_video_stream fail: error parsing rc_override");
}

TEST_F(OutputFiles, AFailingOutputLeavesNoOutputAndNoFile) {
  const struct {
    const char* name;
    const char* videoCodec;
    const char* rcOverride;
    std::string error;  // after the file name where it names it
  } cases[] = {
      {"bad codec.avi", "no_such_encoder", "", "new_video_stream fail: Unknown encoder 'no_such_encoder'"},
      {"bad kind.avi", "mp2", "", "new_video_stream fail: Invalid encoder type 'mp2'"},
      {"bad override.avi", "mpeg4", "1,2", "new_video_stream fail: error parsing rc_override"},
  };
  for (const auto& c : cases) {
    engine.MutableSettings().VideoCodecName = c.videoCodec;
    engine.MutableSettings().RcOverride = c.rcOverride;
    const std::string out = dir.file(c.name);
    EXPECT_FALSE(engine.AddOutputFile(out));
    EXPECT_EQ(engine.LastErrorText(), c.error);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(engine.OutputCount(), 0);
  }
  engine.MutableSettings().RcOverride.clear();
  const std::string unwritable = dir.file("missing folder/out.avi");
  EXPECT_FALSE(engine.AddOutputFile(unwritable));
  EXPECT_EQ(engine.LastErrorText(), "Could not open '" + unwritable + "': No such file or directory");
  EXPECT_EQ(engine.OutputCount(), 0);

  // A chunked format needs a frame number in its name.
  const std::string image = dir.file("chunk.webm");
  engine.MutableSettings().OutputFormat = AVL.av_guess_format("webm_chunk", nullptr, nullptr);
  ASSERT_NE(engine.Settings().OutputFormat, nullptr);
  EXPECT_FALSE(engine.AddOutputFile(image));
  EXPECT_EQ(engine.LastErrorText(), OpenErrorText(AVERROR(EDOM), image));
  EXPECT_FALSE(fs::exists(image));
  EXPECT_EQ(engine.OutputCount(), 0);
}

TEST_F(OutputFiles, MetadataAndMuxerParametersLandInTheContext) {
  auto& s = engine.MutableSettings();
  s.Title = "A Title";
  s.Author = "Someone";
  s.Copyright = "(c) nobody";
  s.Comment = "no comment";
  s.Album = "Album";
  s.Genre = std::string(40, 'g');
  s.Year = 2008;
  s.Track = 7;
  s.RecordingTimestamp = 86400 + 3661;
  s.MuxMaxDelay = 0.7f;
  ASSERT_TRUE(engine.AddOutputFile(dir.file("tagged.mpg"))) << engine.LastErrorText();
  const AVFormatContext* oc = engine.OutputFile(0).Context.get();
  auto get = [&](const char* key) -> std::string {
    const AVDictionaryEntry* e = AVL.av_dict_get(oc->metadata, key, nullptr, 0);
    return e ? e->value : "<none>";
  };
  EXPECT_EQ(get("title"), "A Title");
  EXPECT_EQ(get("artist"), "Someone");
  EXPECT_EQ(get("copyright"), "(c) nobody");
  EXPECT_EQ(get("comment"), "no comment");
  EXPECT_EQ(get("album"), "Album");
  EXPECT_EQ(get("genre"), std::string(31, 'g'));
  EXPECT_EQ(get("date"), "2008");
  EXPECT_EQ(get("track"), "7");
  EXPECT_EQ(get("creation_time"), "1970-01-02T01:01:01.000000Z");
  EXPECT_EQ(oc->max_delay, 700000);
  const AVDictionaryEntry* preload = AVL.av_dict_get(engine.OutputFile(0).MuxerOptions.get(), "preload", nullptr, 0);
  ASSERT_NE(preload, nullptr);
  EXPECT_STREQ(preload->value, "500000");
  // The muxer accepts what it was handed.
  ASSERT_NE(oc->pb, nullptr);
}

TEST_F(OutputFiles, GifLoopsAsToldAndOtherMuxersGetNoLoopOption) {
  auto& s = engine.MutableSettings();
  s.FrameWidth = 32;
  s.FrameHeight = 32;
  ASSERT_TRUE(engine.AddOutputFile(dir.file("anim.gif"))) << engine.LastErrorText();
  const AVDictionaryEntry* loop = AVL.av_dict_get(engine.OutputFile(0).MuxerOptions.get(), "loop", nullptr, 0);
  ASSERT_NE(loop, nullptr);
  EXPECT_STREQ(loop->value, "-1");
  ASSERT_TRUE(engine.AddOutputFile(dir.file("plain.avi"))) << engine.LastErrorText();
  EXPECT_EQ(AVL.av_dict_get(engine.OutputFile(1).MuxerOptions.get(), "loop", nullptr, 0), nullptr);
}

TEST_F(OutputFiles, AnOutputNeverWrittenLeavesNoFileBehind) {
  const std::string out = dir.file("never written.avi");
  ASSERT_TRUE(engine.AddOutputFile(out)) << engine.LastErrorText();
  engine.Reset();
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST_F(OutputFiles, AnOutputThatIsAnInputIsRefusedBeforeItIsOpened) {
  AddClip("a.mp4", true, true);
  const std::string input = dir.file("a.mp4");
  const auto size = fs::file_size(input);
  fs::create_hard_link(input, dir.file("link.mp4"));
  for (const std::string& spelling : {input, (dir.path() / "." / "a.mp4").string(), dir.file("link.mp4")}) {
    EXPECT_FALSE(engine.AddOutputFile(spelling)) << spelling;
    EXPECT_EQ(engine.LastErrorText(), "Output file '" + spelling + "' is the same file as input file '" + input +
                                          "': an input is never overwritten");
    EXPECT_EQ(fs::file_size(input), size) << spelling;
  }
  EXPECT_EQ(engine.OutputCount(), 0);
}

TEST_F(OutputFiles, RelativePathsWithAColonReachTheLibraryAsFiles) {
  // Read as a URL, "10:30 clips/a.mp4" would name the protocol "10".
  fs::create_directory(dir.file("10:30 clips"));
  test::ClipSpec spec;
  spec.width = 64;
  spec.height = 48;
  spec.seconds = 0.2;
  ASSERT_TRUE(test::MakeClip(dir.file("10:30 clips/a.mp4"), spec));
  const fs::path previous = fs::current_path();
  fs::current_path(dir.path());
  const bool inputAdded = engine.AddInputFile("10:30 clips/a.mp4");
  const std::string inputError = engine.LastErrorText();
  const bool outputAdded = inputAdded && engine.AddOutputFile("10:30 clips/b.avi");
  fs::current_path(previous);
  ASSERT_TRUE(inputAdded) << inputError;
  ASSERT_TRUE(outputAdded) << engine.LastErrorText();
  // The file being written (under its partial name) is beside the input.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("10:30 clips")), fs::directory_iterator()), 2);
}

TEST_F(OutputFiles, GenericOptionsReachTheStreamsTheirFlagsName) {
  ASSERT_TRUE(engine.SetGenericOption("flags", "+psnr+ilme"));
  ASSERT_TRUE(engine.SetGenericOption("b", "300000"));
  ASSERT_TRUE(engine.SetGenericOption("ab", "96000"));
  ASSERT_TRUE(engine.SetGenericOption("g", "7"));
  ASSERT_TRUE(engine.SetGenericOption("packetsize", "1000"));
  ASSERT_TRUE(engine.AddOutputFile(dir.file("generic.mpg"))) << engine.LastErrorText();
  const auto& file = engine.OutputFile(0);
  ASSERT_EQ(file.Streams.size(), 2u);
  const AVCodecContext* v = file.Streams[0].Codec.get();
  const AVCodecContext* a = file.Streams[1].Codec.get();
  EXPECT_EQ(v->bit_rate, 300000);
  EXPECT_EQ(v->gop_size, 7);
  EXPECT_TRUE(v->flags & AV_CODEC_FLAG_PSNR);
  EXPECT_TRUE(v->flags & AV_CODEC_FLAG_INTERLACED_ME);
  EXPECT_EQ(a->bit_rate, 96000);
  EXPECT_NE(a->gop_size, 7);  // "g" is a video option only
  EXPECT_EQ(file.Context->packet_size, 1000u);
}

}  // namespace
}  // namespace fennick
