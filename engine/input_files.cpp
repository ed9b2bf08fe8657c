// Input files: open, read stream information, take the input's parameters
// into the current settings; codec lookup by name shared with the outputs.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "engine/FFmpeg.h"
#include "engine/input_io.h"
#include "engine/option_parsing.h"

namespace fennick {

namespace {

// Runs a clean-up when the scope is left, whichever way.
template <typename F>
class ScopeExit {
 public:
  explicit ScopeExit(F f) : FFunc(std::move(f)) {}
  ~ScopeExit() { FFunc(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  F FFunc;
};

std::string LowerExtension(const std::string& fileName) {
  const auto slash = fileName.find_last_of('/');
  const auto dot = fileName.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = fileName.substr(dot);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext;
}

void SetDictionary(AVDictionary** dict, const char* key, const std::string& value) {
  AVL.av_dict_set(dict, key, value.c_str(), 0);
}

// Asked while an input is opened, probed and read (by the libraries and by
// the engine's own byte stream, input_io.h, between its waits for data): a
// stop request ends a read that would otherwise go on (an endless source
// being probed, a pipe or device that sends nothing more).
int StopRequestedCallback(void* engine) { return static_cast<const TCustomFFmpeg*>(engine)->StopRequested() ? 1 : 0; }

std::string StoppedOpeningText(const std::string& fileName) {
  return OpenErrorText(AVERROR_EXIT, fileName) + ": stopped";
}

}  // namespace

bool TCustomFFmpeg::FindCodecId(const std::string& name, const std::string& kind, AVMediaType type, AVCodecID& id,
                                const AVCodec** codec) {
  id = AV_CODEC_ID_NONE;
  if (codec) *codec = nullptr;
  if (name.empty()) return true;
  const bool encoder = kind == "encoder";
  std::string lookup = name;
  if (encoder) {
    // Encoders the profiles name that this platform carries under another
    // name, or (AMR-NB) only as the engine's own encoder.
    if (name == "libfaac" || name == "mpeg4aac") lookup = "aac";
    if (name == "vorbis") lookup = "libvorbis";
    if (name == "libamr_nb") {
      if (type != AVMEDIA_TYPE_AUDIO) {
        FLastError = "Invalid " + kind + " type '" + name + "'";
        return false;
      }
      id = AV_CODEC_ID_AMR_NB;
      return true;
    }
  }
  const AVCodec* found =
      encoder ? AVL.avcodec_find_encoder_by_name(lookup.c_str()) : AVL.avcodec_find_decoder_by_name(lookup.c_str());
  if (!found) {
    FLastError = "Unknown " + kind + " '" + name + "'";
    return false;
  }
  if (found->type != type) {
    FLastError = "Invalid " + kind + " type '" + name + "'";
    return false;
  }
  id = found->id;
  if (codec) *codec = found;
  return true;
}

void TCustomFFmpeg::CopyGenericOptions(void* target, void* source, int flags) {
  if (!target || !source) return;
  for (const AVOption* generic : FGenericOptions) {
    if (!generic || !generic->name) continue;
    const AVOption* opt = AVL.av_opt_find(source, generic->name, nullptr, 0, 0);
    if (!opt || (opt->flags & flags) != flags) continue;
    uint8_t* value = nullptr;
    if (AVL.av_opt_get(source, generic->name, 0, &value) < 0 || !value) continue;
    AvMemPtr<uint8_t> owned(value);
    std::string text(reinterpret_cast<const char*>(value));
    if (text.size() > 255) text.resize(255);
    AVL.av_opt_set(target, generic->name, text.c_str(), 0);
  }
}

void TCustomFFmpeg::InputMediaKinds(bool& hasVideo, bool& hasAudio, bool& hasSubtitle) {
  hasVideo = hasAudio = hasSubtitle = false;
  for (const auto& file : FInputFiles) {
    const AVFormatContext* ic = file->Context.get();
    for (unsigned i = 0; ic && i < ic->nb_streams; ++i) {
      if (IsAttachedPicture(ic->streams[i])) continue;
      const AVMediaType type = ic->streams[i]->codecpar->codec_type;
      switch (type) {
        case AVMEDIA_TYPE_VIDEO: hasVideo = true; break;
        case AVMEDIA_TYPE_AUDIO: hasAudio = true; break;
        case AVMEDIA_TYPE_SUBTITLE: hasSubtitle = true; break;
        case AVMEDIA_TYPE_UNKNOWN:
        case AVMEDIA_TYPE_DATA:
        case AVMEDIA_TYPE_ATTACHMENT: break;
        default: throw FFMpegException("invalid codec_type of input file");
      }
    }
  }
}

bool TCustomFFmpeg::AddInputFile(const std::string& fileName) {
  const TClassicNumberScope classicNumbers;
  // Per-input settings apply to this input only, whatever the outcome.
  ScopeExit clearPerInput([this] {
    S.InputFormat = nullptr;
    S.OutputFormat = nullptr;
    S.VideoChannel = 0;
    S.RateEmu = false;
    S.VideoCodecName.clear();
    S.AudioCodecName.clear();
    S.SubtitleCodecName.clear();
    S.InputStreamLanguage.clear();
  });

  if (static_cast<int>(FInputFiles.size()) >= kMaxFiles) {
    FLastError = fileName + ": too many input files (at most " + std::to_string(kMaxFiles) + ")";
    return false;
  }

  // An input that is the very file an output added before names: that
  // output would replace it.
  if (const std::string localPath = LocalFilePath(fileName); !localPath.empty()) {
    struct stat input {}, output {};
    if (::stat(localPath.c_str(), &input) == 0) {
      for (const auto& file : FOutputFiles) {
        if (!file->LocalPath.empty() && ::stat(file->LocalPath.c_str(), &output) == 0 &&
            input.st_dev == output.st_dev && input.st_ino == output.st_ino) {
          FLastError = SameFileRefusal(file->Name, fileName);
          return false;
        }
      }
    }
  }

  // Forced decoders: resolved before the file is touched.
  AVCodecID videoId, audioId, subtitleId;
  const AVCodec *videoDecoder = nullptr, *audioDecoder = nullptr, *subtitleDecoder = nullptr;
  if (!FindCodecId(S.VideoCodecName, "decoder", AVMEDIA_TYPE_VIDEO, videoId, &videoDecoder) ||
      !FindCodecId(S.AudioCodecName, "decoder", AVMEDIA_TYPE_AUDIO, audioId, &audioDecoder) ||
      !FindCodecId(S.SubtitleCodecName, "decoder", AVMEDIA_TYPE_SUBTITLE, subtitleId, &subtitleDecoder))
    return false;

  FormatContextPtr allocated(AVL.avformat_alloc_context());
  if (!allocated) {
    FLastError = OpenErrorText(AVERROR(ENOMEM), fileName);
    return false;
  }
  CopyGenericOptions(allocated.get(), FFormatOptions.get(), AV_OPT_FLAG_DECODING_PARAM);
  if (S.ImageFormatCompat) allocated->video_codec_id = AV_CODEC_ID_PGMYUV;
  if (videoId != AV_CODEC_ID_NONE) allocated->video_codec_id = videoId;
  allocated->audio_codec_id = audioId;
  allocated->subtitle_codec_id = subtitleId;
  allocated->video_codec = videoDecoder;
  allocated->audio_codec = audioDecoder;
  allocated->subtitle_codec = subtitleDecoder;
  allocated->interrupt_callback = AVIOInterruptCB{&StopRequestedCallback, this};

  // The open parameters of raw and capture demuxers; a demuxer without such
  // an option leaves the entry unused.
  AVDictionary* rawParams = nullptr;
  DictionaryPtr openParams;
  SetDictionary(&rawParams, "sample_rate", std::to_string(S.AudioSampleRate));
  SetDictionary(&rawParams, "channels", std::to_string(S.AudioChannels));
  if (S.FrameRate.num > 0 && S.FrameRate.den > 0)
    SetDictionary(&rawParams, "framerate", std::to_string(S.FrameRate.num) + "/" + std::to_string(S.FrameRate.den));
  const int openWidth = S.FrameWidth + S.PadLeft + S.PadRight;
  const int openHeight = S.FrameHeight + S.PadTop + S.PadBottom;
  if (openWidth > 0 && openHeight > 0)
    SetDictionary(&rawParams, "video_size", std::to_string(openWidth) + "x" + std::to_string(openHeight));
  if (S.PixelFormat >= 0) {
    if (const char* pixName = AVL.av_get_pix_fmt_name(static_cast<AVPixelFormat>(S.PixelFormat)))
      SetDictionary(&rawParams, "pixel_format", pixName);
  }
  if (S.VideoChannel != 0) SetDictionary(&rawParams, "channel", std::to_string(S.VideoChannel));
  if (!S.VideoStandard.empty()) SetDictionary(&rawParams, "standard", S.VideoStandard);
  if (S.LoopInput) SetDictionary(&rawParams, "loop", "1");

  AVFormatContext* opening = allocated.release();
  const int openResult = OpenInput(&opening, fileName, S.InputFormat, &rawParams);
  openParams.reset(rawParams);
  if (openResult < 0) {  // the context has been freed
    FLastError = StopRequested() ? StoppedOpeningText(fileName) : OpenErrorText(openResult, fileName);
    return false;
  }
  InputFormatContextPtr ic(opening);

  if (S.OptProgramId != 0) {
    for (unsigned i = 0; i < ic->nb_programs; ++i)
      if (ic->programs[i]->id != S.OptProgramId) ic->programs[i]->discard = AVDISCARD_ALL;
  }

  int infoResult;
  {
    std::lock_guard<TCodecLock> lock(CodecLock());
    infoResult = AVL.avformat_find_stream_info(ic.get(), nullptr);
  }
  // A probe that a stop cut short may have missed streams or parameters.
  if (StopRequested()) {
    FLastError = StoppedOpeningText(fileName);
    return false;
  }
  if (infoResult < 0 && S.Verbose >= 0) {
    FLastError = fileName + ": could not find codec parameters";
    return false;
  }

  int64_t timestamp = S.StartTime;
  if (ic->start_time != AV_NOPTS_VALUE) timestamp += ic->start_time;
  if (S.StartTime != 0) {
    AVL.av_seek_frame(ic.get(), -1, timestamp, AVSEEK_FLAG_BACKWARD);
    S.StartTime = 0;
  }

  auto slot = std::make_unique<TInputFileSlot>();
  for (unsigned i = 0; i < ic->nb_streams; ++i) {
    AVStream* st = ic->streams[i];
    AVCodecParameters* par = st->codecpar;
    CodecContextPtr dec(AVL.avcodec_alloc_context3(nullptr));
    if (!dec || AVL.avcodec_parameters_to_context(dec.get(), par) < 0) {
      FLastError = OpenErrorText(AVERROR(ENOMEM), fileName);
      return false;
    }
    dec->thread_count = S.ThreadCount;
    dec->pkt_timebase = st->time_base;
    if (!S.InputStreamLanguage.empty() && !AVL.av_dict_get(st->metadata, "language", nullptr, 0))
      AVL.av_dict_set(&st->metadata, "language", S.InputStreamLanguage.c_str(), 0);
    const AVCodec* forced = nullptr;
    const AVMediaType type = IsAttachedPicture(st) ? AVMEDIA_TYPE_ATTACHMENT : par->codec_type;
    switch (type) {
      case AVMEDIA_TYPE_VIDEO: {
        forced = videoDecoder;
        CopyGenericOptions(dec.get(), FCodecOptions[msVideo].get(),
                           AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_DECODING_PARAM);
        S.FrameHeight = par->height;
        S.FrameWidth = par->width;
        const AVRational sar = AVL.av_guess_sample_aspect_ratio(ic.get(), st, nullptr);
        double aspect = 0;
        if (sar.num != 0 && sar.den != 0 && par->height > 0) aspect = av_q2d(sar) * par->width / par->height;
        S.AspectRatio = static_cast<float>(aspect);
        if ((aspect == 0 || std::isnan(aspect)) && par->width > 0 && par->height > 0)
          ApplyOption("aspect", std::to_string(par->width) + ":" + std::to_string(par->height));
        if (par->format == AV_PIX_FMT_NONE && LowerExtension(fileName).rfind(".rmvb", 0) == 0) par->format = 0;
        S.PixelFormat = par->format;
        dec->pix_fmt = static_cast<AVPixelFormat>(par->format);
        if (S.MeThreshold != 0) dec->flags2 |= AV_CODEC_FLAG2_EXPORT_MVS;
        S.FrameRate = st->r_frame_rate;
        if (S.VideoDisable)
          st->discard = AVDISCARD_ALL;
        else if (S.VideoDiscard != 0)
          st->discard = static_cast<AVDiscard>(S.VideoDiscard);
        break;
      }
      case AVMEDIA_TYPE_AUDIO:
        forced = audioDecoder;
        CopyGenericOptions(dec.get(), FCodecOptions[msAudio].get(),
                           AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_DECODING_PARAM);
        S.AudioChannels = par->ch_layout.nb_channels;
        S.AudioSampleRate = par->sample_rate;
        if (S.AudioDisable) st->discard = AVDISCARD_ALL;
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        forced = subtitleDecoder;
        if (S.SubtitleDisable) st->discard = AVDISCARD_ALL;
        break;
      case AVMEDIA_TYPE_UNKNOWN:
      case AVMEDIA_TYPE_DATA:
      case AVMEDIA_TYPE_ATTACHMENT: break;
      default: throw FFMpegException("invalid codec_type");
    }
    slot->Decoders.push_back(std::move(dec));
    slot->DecoderCodecs.push_back(forced);
  }

  if (ic->duration != AV_NOPTS_VALUE && ic->duration > 0)
    FTotalOutputDuration = static_cast<int>(std::max<int64_t>(FTotalOutputDuration, ic->duration / 1000));
  slot->TsOffset = S.CopyTs ? S.InputTsOffset : S.InputTsOffset - timestamp;
  std::copy(std::begin(S.InputTsScale), std::end(S.InputTsScale), std::begin(slot->TsScale));
  std::fill(std::begin(S.InputTsScale), std::end(S.InputTsScale), 0.0);
  slot->RateEmu = S.RateEmu;
  slot->Name = fileName;
  const std::string localPath = LocalFilePath(fileName);
  struct stat identity {};
  if (!localPath.empty() && ::stat(localPath.c_str(), &identity) == 0) {
    slot->HasIdentity = true;
    slot->Device = static_cast<uint64_t>(identity.st_dev);
    slot->Inode = static_cast<uint64_t>(identity.st_ino);
  }
  if (S.Verbose >= 0) AVL.av_dump_format(ic.get(), static_cast<int>(FInputFiles.size()), fileName.c_str(), 0);
  slot->Context = std::move(ic);
  FInputFiles.push_back(std::move(slot));
  return true;
}

}  // namespace fennick
