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

// The MPEG disc presets; sizes are PAL then NTSC/film.
struct TMpegPreset {
  const char* Type;
  const char* VideoCodec;
  const char* AudioCodec;
  const char* Format;
  const char* SizePal;
  const char* SizeNtsc;
  const char* BitRate;
  const char* MaxRate;
  const char* MinRate;
  const char* BufSize;
  bool ScanOffset;
  const char* AudioBitRate;
  int SampleRate;
  bool AlwaysStereo;  // otherwise only mono becomes stereo
  const char* PacketSize;
  const char* MuxRate;  // null: unchanged
  float MuxPreload;     // 0: unchanged
  float Aspect;         // when none is set
};

constexpr TMpegPreset kMpegPresets[] = {
    {"vcd", "mpeg1video", "mp2", "vcd", "352x288", "352x240", "1150000", "1150000", "1150000", "327680", false,
     "224000", 44100, true, "2324", "1411200", 0.44f, 4.0f / 3.0f},
    {"svcd", "mpeg2video", "mp2", "svcd", "480x576", "480x480", "2040000", "2516000", "0", "1835008", true,
     "224000", 44100, false, "2324", nullptr, 0.0f, 4.0f / 3.0f},
    {"dvd", "mpeg2video", "ac3", "dvd", "720x576", "720x480", "6000000", "9000000", "0", "1835008", false,
     "448000", 48000, false, "2048", "10080000", 0.0f, 16.0f / 9.0f},
};

const TMpegPreset* FindMpegPreset(const std::string& type) {
  for (const TMpegPreset& p : kMpegPresets)
    if (type == p.Type) return &p;
  return nullptr;
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
        if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !IsAttachedPicture(st)) n = NormOfRate(st->r_frame_rate);
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

  if (const TMpegPreset* preset = FindMpegPreset(type)) {
    const TMpegPreset& p = *preset;
    S.VideoCodecName = p.VideoCodec;
    S.AudioCodecName = p.AudioCodec;
    setOutputFormat(p.Format);
    setFrameSize(pal ? p.SizePal : p.SizeNtsc);
    AVL.av_parse_video_rate(&S.FrameRate, kFrameRates[n]);
    generic("gop", pal ? "15" : "18");
    generic("b", p.BitRate);
    generic("maxrate", p.MaxRate);
    generic("minrate", p.MinRate);
    generic("bufsize", p.BufSize);
    // Formerly the codec flag "+SCAN_OFFSET"; now the MPEG-2 encoder's own option.
    if (p.ScanOffset) S.VideoPrivateOptions.emplace_back("scan_offset", "1");
    generic("ab", p.AudioBitRate);
    S.AudioSampleRate = p.SampleRate;
    if (p.AlwaysStereo || S.AudioChannels == 1) S.AudioChannels = 2;
    generic("packetsize", p.PacketSize);
    if (p.MuxRate) muxRate(p.MuxRate);
    if (p.MuxPreload > 0) S.MuxPreload = p.MuxPreload;
    setAspectIfNone(p.Aspect);
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
