// The target presets: vcd, svcd, dvd, dv, dv50.
#include <cmath>

#include "engine/FFmpeg.h"

namespace fennick {

namespace {

enum TNorm { kPal, kNtsc, kFilm };

const char* const kFrameRates[] = {"25", "30000/1001", "24000/1001"};

// The norm a frame rate stands for, or -1 when it does not decide.
int NormOfRate(AVRational rate) {
  if (rate.den == 0) return -1;
  const long r = std::lrint(1000.0 * rate.num / rate.den);
  if (r == 25000) return kPal;
  if (r == 29970 || r == 23976) return kNtsc;
  return -1;
}

}  // namespace

void TCustomFFmpeg::ApplyTarget(const std::string& type, const std::string& norm, const std::string& assumedNorm) {
  int n;
  if (norm == "pal") {
    n = kPal;
  } else if (norm == "ntsc") {
    n = kNtsc;
  } else if (norm == "film") {
    n = kFilm;
  } else {
    if (S.FrameRate.den == 0) throw FFMpegException("frame_rate is invalid.");
    n = NormOfRate(S.FrameRate);
    for (const auto& file : FInputFiles) {
      const AVFormatContext* ic = file->Context.get();
      for (unsigned i = 0; n < 0 && ic && i < ic->nb_streams; ++i) {
        const AVStream* st = ic->streams[i];
        if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) n = NormOfRate(st->r_frame_rate);
      }
      if (n >= 0) break;
    }
    if (n < 0) n = assumedNorm == "film" ? kFilm : assumedNorm == "ntsc" ? kNtsc : kPal;
    if (S.Verbose > 0) Log(1, std::string("Assuming ") + (n == kPal ? "PAL" : "NTSC") + " for target.");
  }
  const bool pal = n == kPal;

  auto setFrameSize = [this](const char* size) { AVL.av_parse_video_size(&S.FrameWidth, &S.FrameHeight, size); };
  auto setOutputFormat = [this](const char* name) { S.OutputFormat = AVL.av_guess_format(name, nullptr, nullptr); };
  auto generic = [this](const std::string& name, const std::string& value) {
    // The group-of-pictures option is called "g" by this library generation.
    if (!SetGenericOption(name, value) && name == "gop") SetGenericOption("g", value);
  };
  // Formerly a container field; now a private option of the MPEG muxers.
  auto muxRate = [this](const std::string& value) {
    if (!SetGenericOption("muxrate", value)) S.MuxerPrivateOptions.emplace_back("muxrate", value);
  };
  auto setAspectIfNone = [this](float aspect) {
    if (S.AspectRatio == 0) S.AspectRatio = aspect;
  };

  if (type == "vcd") {
    S.VideoCodecName = "mpeg1video";
    S.AudioCodecName = "mp2";
    setOutputFormat("vcd");
    setFrameSize(pal ? "352x288" : "352x240");
    AVL.av_parse_video_rate(&S.FrameRate, kFrameRates[n]);
    generic("gop", pal ? "15" : "18");
    generic("b", "1150000");
    generic("maxrate", "1150000");
    generic("minrate", "1150000");
    generic("bufsize", "327680");
    generic("ab", "224000");
    S.AudioSampleRate = 44100;
    S.AudioChannels = 2;
    generic("packetsize", "2324");
    muxRate("1411200");
    S.MuxPreload = 0.44f;
    setAspectIfNone(4.0f / 3.0f);
  } else if (type == "svcd") {
    S.VideoCodecName = "mpeg2video";
    S.AudioCodecName = "mp2";
    setOutputFormat("svcd");
    setFrameSize(pal ? "480x576" : "480x480");
    AVL.av_parse_video_rate(&S.FrameRate, kFrameRates[n]);
    generic("gop", pal ? "15" : "18");
    generic("b", "2040000");
    generic("maxrate", "2516000");
    generic("minrate", "0");
    generic("bufsize", "1835008");
    // Formerly the codec flag "+SCAN_OFFSET"; now the MPEG-2 encoder's own option.
    S.VideoPrivateOptions.emplace_back("scan_offset", "1");
    generic("ab", "224000");
    S.AudioSampleRate = 44100;
    if (S.AudioChannels == 1) S.AudioChannels = 2;
    generic("packetsize", "2324");
    setAspectIfNone(4.0f / 3.0f);
  } else if (type == "dvd") {
    S.VideoCodecName = "mpeg2video";
    S.AudioCodecName = "ac3";
    setOutputFormat("dvd");
    setFrameSize(pal ? "720x576" : "720x480");
    AVL.av_parse_video_rate(&S.FrameRate, kFrameRates[n]);
    generic("gop", pal ? "15" : "18");
    generic("b", "6000000");
    generic("maxrate", "9000000");
    generic("minrate", "0");
    generic("bufsize", "1835008");
    generic("ab", "448000");
    S.AudioSampleRate = 48000;
    if (S.AudioChannels == 1) S.AudioChannels = 2;
    generic("packetsize", "2048");
    muxRate("10080000");
    setAspectIfNone(16.0f / 9.0f);
  } else if (type == "dv" || type == "dv50") {
    setOutputFormat("dv");
    setFrameSize(pal ? "720x576" : "720x480");
    AVL.av_parse_video_rate(&S.FrameRate, kFrameRates[n]);
    const char* pixFmt = type == "dv50" ? "yuv422p" : pal ? "yuv420p" : "yuv411p";
    S.PixelFormat = AVL.av_get_pix_fmt(pixFmt);
    S.AudioSampleRate = 48000;
    S.AudioChannels = 2;
  } else {
    throw FFMpegException("Unknown target type");
  }
}

}  // namespace fennick
