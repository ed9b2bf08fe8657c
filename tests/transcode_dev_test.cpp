#include <gtest/gtest.h>
#include "engine/transcode_tables.h"
#include "tests/test_support.h"
using namespace fennick;
using namespace fennick::test;

class TDevEngine : public TCustomFFmpeg {
 public:
  bool DevAddInput(const std::string& path) {
    AVFormatContext* ic = nullptr;
    if (AVL.avformat_open_input(&ic, path.c_str(), nullptr, nullptr) < 0) return false;
    AVL.avformat_find_stream_info(ic, nullptr);
    auto slot = std::make_unique<TInputFileSlot>();
    slot->Context.reset(ic);
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
      CodecContextPtr d(AVL.avcodec_alloc_context3(nullptr));
      AVL.avcodec_parameters_to_context(d.get(), ic->streams[i]->codecpar);
      slot->Decoders.push_back(std::move(d));
      slot->DecoderCodecs.push_back(nullptr);
    }
    FInputFiles.push_back(std::move(slot));
    return true;
  }
  bool DevAddOutput(const std::string& path, const char* vcodec, int w, int h, AVRational rate, const char* acodec,
                    bool copyVideo = false) {
    AVFormatContext* oc = nullptr;
    AVL.avformat_alloc_output_context2(&oc, nullptr, nullptr, path.c_str());
    if (!oc) return false;
    auto slot = std::make_unique<TOutputFileSlot>();
    slot->Context.reset(oc);
    if (vcodec || copyVideo) {
      TOutputStreamConfig cfg;
      cfg.Stream = AVL.avformat_new_stream(oc, nullptr);
      const AVCodec* c = vcodec ? AVL.avcodec_find_encoder_by_name(vcodec) : nullptr;
      cfg.Codec.reset(AVL.avcodec_alloc_context3(c));
      cfg.Codec->codec_type = AVMEDIA_TYPE_VIDEO;
      if (c) { cfg.Codec->codec_id = c->id; }
      cfg.Encoder = c;
      cfg.StreamCopy = copyVideo;
      cfg.Codec->width = w; cfg.Codec->height = h; cfg.Codec->time_base = av_inv_q(rate);
      cfg.Codec->pix_fmt = AV_PIX_FMT_YUV420P;
      cfg.Codec->bit_rate = 400000;
      if (oc->oformat->flags & AVFMT_GLOBALHEADER) cfg.Codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
      slot->Streams.push_back(std::move(cfg));
    }
    if (acodec) {
      TOutputStreamConfig cfg;
      cfg.Stream = AVL.avformat_new_stream(oc, nullptr);
      const AVCodec* c = AVL.avcodec_find_encoder_by_name(acodec);
      cfg.Codec.reset(AVL.avcodec_alloc_context3(c));
      cfg.Codec->codec_type = AVMEDIA_TYPE_AUDIO;
      cfg.Codec->codec_id = c->id;
      cfg.Encoder = c;
      cfg.Codec->sample_rate = 44100; cfg.Codec->time_base = {1, 44100};
      AVL.av_channel_layout_default(&cfg.Codec->ch_layout, 2);
      cfg.Codec->bit_rate = 128000;
      if (oc->oformat->flags & AVFMT_GLOBALHEADER) cfg.Codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
      slot->Streams.push_back(std::move(cfg));
    }
    if (AVL.avio_open(&oc->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) return false;
    FOutputFiles.push_back(std::move(slot));
    return true;
  }
};

TEST(Dev, Mp4) {
  RequireLibraries();
  TempDir dir;
  ClipSpec spec; spec.seconds = 2; spec.audio = false;
  ASSERT_TRUE(MakeClip(dir.file("in.mp4"), spec));
  TDevEngine e;
  e.Reset();
  std::vector<std::string> lines;
  e.OnLog = [&](TCustomFFmpeg&, int l, const std::string& t) { lines.push_back(t); fprintf(stderr, "LOG %d %s\n", l, t.c_str()); };
  ASSERT_TRUE(e.DevAddInput(dir.file("in.mp4")));
  ASSERT_TRUE(e.DevAddOutput(dir.file("out.mp4"), "mpeg4", 320, 240, {25, 1}, nullptr));
  e.MutableSettings().PadTop = 16; e.MutableSettings().PadBottom = 16; e.MutableSettings().CropTop = 8;
  e.StartRun(false);
  EXPECT_FALSE(e.ExceptionRaised()) << e.TerminateMessage();
  EXPECT_TRUE(e.Finished());
  auto p = ProbeFile(dir.file("out.mp4"));
  for (auto& [k, v] : p) fprintf(stderr, "%s=%s\n", k.c_str(), v.c_str());
  EXPECT_EQ(CountFrames(dir.file("out.mp4"), "video"), 50);
  RunCommand("cp " + dir.file("out.mp4") + " /tmp/dev/out.mp4");
}

static int RunDev(TDevEngine& e, const std::string& in, const std::string& out, AVRational rate, std::function<void(TEngineSettings&)> f = {}) {
  e.Reset();
  e.OnLog = [&](TCustomFFmpeg&, int l, const std::string& t) { fprintf(stderr, "LOG %d %s\n", l, t.c_str()); };
  if (!e.DevAddInput(in)) return -100;
  if (!e.DevAddOutput(out, "mpeg4", 320, 240, rate, nullptr)) return -101;
  if (f) f(e.MutableSettings());
  e.StartRun(false);
  if (e.ExceptionRaised()) { fprintf(stderr, "EXC %s\n", e.TerminateMessage().c_str()); return -1; }
  return CountFrames(out, "video");
}

TEST(Dev, Sync) {
  RequireLibraries();
  TempDir dir;
  ClipSpec spec; spec.seconds = 2; spec.audio = false; spec.frameRate = "12.5";
  ASSERT_TRUE(MakeClip(dir.file("in12.mp4"), spec));
  spec.frameRate = "25";
  ASSERT_TRUE(MakeClip(dir.file("in25.mp4"), spec));
  ASSERT_TRUE(MakeMedia(dir.file("gap.mp4"), "-f lavfi -i testsrc=size=320x240:rate=25:duration=2 -vf setpts='PTS+if(gte(N\\,25)\\,2/TB\\,0)' -fps_mode passthrough -c:v mpeg4"));
  { TDevEngine e; EXPECT_EQ(RunDev(e, dir.file("in12.mp4"), dir.file("o1.mp4"), {25, 1}), 48); }
  { TDevEngine e; EXPECT_EQ(RunDev(e, dir.file("in25.mp4"), dir.file("o2.mp4"), {25, 2}), 25); }
  { TDevEngine e; EXPECT_EQ(RunDev(e, dir.file("gap.mp4"), dir.file("o3.mp4"), {25, 1}), 100); }
  { TDevEngine e; EXPECT_EQ(RunDev(e, dir.file("in12.mp4"), dir.file("o4.mp4"), {25, 1}, [](TEngineSettings& s){ s.VideoSyncMethod = 0; }), 25); }
  { TDevEngine e; EXPECT_EQ(RunDev(e, dir.file("in25.mp4"), dir.file("o5.mp4"), {25, 1}, [](TEngineSettings& s){ s.RecordingTime = 1000000; }), 25); }
  { TDevEngine e; EXPECT_EQ(RunDev(e, dir.file("in25.mp4"), dir.file("o6.mp4"), {25, 1}, [](TEngineSettings& s){ s.DoDeinterlace = true; s.Verbose = 3; s.VStatsFileName = "/tmp/dev/vstats.log"; }), 50); }
  RunCommand("ffprobe -v error -show_entries packet=pts_time,duration_time -of csv " + dir.file("o3.mp4") + " > /tmp/dev/gap.txt");
}

TEST(Dev, Misc) {
  RequireLibraries();
  TempDir dir;
  ClipSpec spec; spec.seconds = 10; spec.audio = false;
  ASSERT_TRUE(MakeClip(dir.file("in.mp4"), spec));
  {
    TDevEngine e; e.Reset();
    ASSERT_TRUE(e.DevAddInput(dir.file("in.mp4")));
    ASSERT_TRUE(e.DevAddOutput(dir.file("stop.mp4"), "mpeg4", 320, 240, {25, 1}, nullptr));
    int calls = 0;
    e.OnProgress = [&](TCustomFFmpeg& en, int fn, int fps, int cur, float q, float br, int64_t size, int total) {
      fprintf(stderr, "PROG %d %d %d %.1f %.1f %lld %d\n", fn, fps, cur, q, br, (long long)size, total);
      if (++calls == 2) en.RequestStop();
    };
    e.SetProgressInterval(1000);
    e.StartRun(false);
    EXPECT_FALSE(e.ExceptionRaised()) << e.TerminateMessage();
    EXPECT_FALSE(e.Finished());
    int n = CountFrames(dir.file("stop.mp4"), "video");
    fprintf(stderr, "stopped frames %d\n", n);
    EXPECT_GT(n, 0); EXPECT_LT(n, 250);
  }
  {
    TDevEngine e; EXPECT_GT(RunDev(e, dir.file("in.mp4"), dir.file("fs.mp4"), {25, 1}, [](TEngineSettings& s){ s.LimitFileSize = 100000; }), 0);
    fprintf(stderr, "fs size %lld\n", (long long)std::filesystem::file_size(dir.file("fs.mp4")));
  }
  // truncated and garbage
  auto size = std::filesystem::file_size(dir.file("in.mp4"));
  RunCommand("head -c " + std::to_string(size / 2) + " " + dir.file("in.mp4") + " > " + dir.file("trunc.mp4"));
  { TDevEngine e; fprintf(stderr, "trunc: %d\n", RunDev(e, dir.file("trunc.mp4"), dir.file("t.mp4"), {25, 1})); }
  ClipSpec avi; avi.seconds = 4; avi.audio = false;
  ASSERT_TRUE(MakeClip(dir.file("in.avi"), avi));
  RunCommand("head -c 20000 " + dir.file("in.avi") + " > " + dir.file("g.avi") + "; head -c 300000 /dev/urandom >> " + dir.file("g.avi"));
  { TDevEngine e; fprintf(stderr, "garbage: %d\n", RunDev(e, dir.file("g.avi"), dir.file("g.mp4"), {25, 1})); }
  RunCommand("head -c 20000 " + dir.file("in.mp4") + " > " + dir.file("g2.mp4") + "; head -c 300000 /dev/urandom >> " + dir.file("g2.mp4"));
  { TDevEngine e; fprintf(stderr, "garbage mp4: %d\n", RunDev(e, dir.file("g2.mp4"), dir.file("g2o.mp4"), {25, 1})); }
}

TEST(Dev, CopyPass) {
  RequireLibraries();
  TempDir dir;
  ClipSpec spec; spec.seconds = 2; spec.audio = false;
  ASSERT_TRUE(MakeClip(dir.file("in.mp4"), spec));
  {
    TDevEngine e; e.Reset();
    ASSERT_TRUE(e.DevAddInput(dir.file("in.mp4")));
    ASSERT_TRUE(e.DevAddOutput(dir.file("copy.avi"), nullptr, 320, 240, {25, 1}, nullptr, true));
    e.StartRun(false);
    EXPECT_FALSE(e.ExceptionRaised()) << e.TerminateMessage();
    EXPECT_EQ(CountFrames(dir.file("copy.avi"), "video"), 50);
    auto p = ProbeFile(dir.file("copy.avi"));
    fprintf(stderr, "copy: %s %s %s\n", p["streams.stream.0.codec_name"].c_str(), p["streams.stream.0.r_frame_rate"].c_str(), p["format.duration"].c_str());
  }
  for (int pass = 1; pass <= 2; ++pass) {
    TDevEngine e; e.Reset();
    ASSERT_TRUE(e.DevAddInput(dir.file("in.mp4")));
    ASSERT_TRUE(e.DevAddOutput(dir.file("p.mp4"), "mpeg4", 320, 240, {25, 1}, nullptr));
    e.OutputFile(0).Streams[0].Codec->flags |= pass == 1 ? AV_CODEC_FLAG_PASS1 : AV_CODEC_FLAG_PASS2;
    e.MutableSettings().PassLogFileName = dir.file("mylog");
    e.StartRun(false);
    EXPECT_FALSE(e.ExceptionRaised()) << e.TerminateMessage();
    EXPECT_TRUE(std::filesystem::exists(dir.file("mylog-0.log")));
    fprintf(stderr, "log size %lld\n", (long long)std::filesystem::file_size(dir.file("mylog-0.log")));
  }
  EXPECT_EQ(CountFrames(dir.file("p.mp4"), "video"), 50);
}
