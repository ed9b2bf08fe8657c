// Output files and their streams: container choice, one stream per wanted
// media kind with its encoder context configured from the settings,
// metadata, and the opened file.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "engine/FFmpeg.h"
#include "engine/option_parsing.h"
#include "util/output_reservation.h"
#include "util/text_util.h"

namespace fennick {

namespace {

constexpr float kQp2Lambda = FF_QP2LAMBDA;

// A copy of `text` cut to at most `max` bytes.
std::string Limit(const std::string& text, size_t max) { return text.size() > max ? text.substr(0, max) : text; }

bool HasPrivateOption(const AVClass* privClass, const char* name) {
  if (!privClass) return false;
  return AVL.av_opt_find(&privClass, name, nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ) != nullptr;
}

// The private options kept by the generic setter for this kind of encoder,
// set on an encoder context allocated for `encoder` where it has them.
void SetPrivateOptions(AVCodecContext* c, const AVCodec* encoder, const TEngineSettings& s, int kind) {
  if (!encoder) return;
  for (const auto& o : s.PrivateOptions)
    if ((o.Targets & kind) && HasPrivateOption(encoder->priv_class, o.Name.c_str()))
      AVL.av_opt_set(c, o.Name.c_str(), o.Value.c_str(), AV_OPT_SEARCH_CHILDREN);
}

// "start,end,q/start,end,q/..."; raises on a malformed entry.
std::vector<RcOverride> ParseRcOverride(const std::string& text) {
  std::vector<RcOverride> entries;
  if (text.empty()) return entries;
  size_t pos = 0;
  while (true) {
    const size_t slash = text.find('/', pos);
    const std::string entry = text.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
    // Three decimal integers, each within 32 bits.
    int values[3] = {};
    const char* p = entry.c_str();
    for (int i = 0; i < 3; ++i) {
      if (i > 0 && *p++ != ',') throw FFMpegException("error parsing rc_override");
      char* after = nullptr;
      errno = 0;
      const long long v = std::strtoll(p, &after, 10);
      if (after == p || errno == ERANGE || v < INT_MIN || v > INT_MAX)
        throw FFMpegException("error parsing rc_override");
      values[i] = static_cast<int>(v);
      p = after;
    }
    const int q = values[2];
    RcOverride rc{};
    rc.start_frame = values[0];
    rc.end_frame = values[1];
    if (q > 0) {
      rc.qscale = q;
      rc.quality_factor = 1.0f;
    } else {
      rc.qscale = 0;
      rc.quality_factor = static_cast<float>(-static_cast<double>(q) / 100.0);
    }
    entries.push_back(rc);
    if (slash == std::string::npos) break;
    pos = slash + 1;
  }
  return entries;
}

uint16_t* CopyMatrix(const std::vector<uint16_t>& matrix) {
  if (matrix.size() != 64) return nullptr;
  auto* copy = static_cast<uint16_t*>(AVL.av_malloc(64 * sizeof(uint16_t)));
  if (copy) std::copy(matrix.begin(), matrix.end(), copy);
  return copy;
}

// ISO 8601 (UTC) text of a time in seconds since 1970.
std::string IsoTime(int64_t seconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  if (!gmtime_r(&t, &tm)) return "";
  char buf[64];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S.000000Z", &tm);
  return buf;
}

// Creates the muxer's stream and an encoder context for it; nothing is added
// to the file when either cannot be made.
AVStream* NewStream(AVFormatContext* oc, const AVCodec* encoder, CodecContextPtr& codec) {
  codec.reset(AVL.avcodec_alloc_context3(encoder));
  if (!codec) throw FFMpegException("Could not alloc stream");
  AVStream* st = AVL.avformat_new_stream(oc, nullptr);
  if (!st) {
    codec.reset();
    throw FFMpegException("Could not alloc stream");
  }
  st->id = static_cast<int>(oc->nb_streams) - 1;
  return st;
}

}  // namespace

void TCustomFFmpeg::AddVideoStream(TOutputFileSlot& file) {
  AVFormatContext* oc = file.Context.get();
  TOutputStreamConfig config;
  try {
    AVCodecID codecId = AV_CODEC_ID_NONE;
    const AVCodec* encoder = nullptr;
    AVRational frameRate = S.FrameRate;
    std::vector<RcOverride> rcOverride;
    if (!S.VideoStreamCopy) {
      if (frameRate.num == 0) frameRate = AVRational{25, 1};
      if (!S.VideoCodecName.empty()) {
        if (!FindCodecId(S.VideoCodecName, "encoder", AVMEDIA_TYPE_VIDEO, codecId, &encoder))
          throw FFMpegException(FLastError);
      } else {
        codecId = AVL.av_guess_codec(oc->oformat, nullptr, oc->url, nullptr, AVMEDIA_TYPE_VIDEO);
        encoder = AVL.avcodec_find_encoder(codecId);
      }
      rcOverride = ParseRcOverride(S.RcOverride);
    }

    config.Stream = NewStream(oc, encoder, config.Codec);
    AVCodecContext* c = config.Codec.get();
    config.Encoder = encoder;
    c->codec_type = AVMEDIA_TYPE_VIDEO;
    c->thread_count = S.ThreadCount;
    if (S.VideoCodecTag) c->codec_tag = S.VideoCodecTag;

    AVCodecContext* videoOptions = FCodecOptions[msVideo].get();
    if ((S.VideoGlobalHeader & 1) || (S.VideoGlobalHeader == 0 && (oc->oformat->flags & AVFMT_GLOBALHEADER))) {
      c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
      if (videoOptions) videoOptions->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    if (S.VideoGlobalHeader & 2) {
      c->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
      if (videoOptions) videoOptions->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
    }

    if (S.VideoStreamCopy) {
      config.StreamCopy = true;
    } else {
      c->codec_id = codecId;
      CopyGenericOptions(c, videoOptions, AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
      SetPrivateOptions(c, encoder, S, TEngineSettings::kPrivateVideo);
      for (const auto& [name, value] : S.VideoPrivateOptions)
        if (encoder && HasPrivateOption(encoder->priv_class, name.c_str()))
          AVL.av_opt_set(c, name.c_str(), value.c_str(), AV_OPT_SEARCH_CHILDREN);

      if (encoder && encoder->supported_framerates)
        frameRate = encoder->supported_framerates[AVL.av_find_nearest_q_idx(frameRate, encoder->supported_framerates)];
      c->framerate = frameRate;
      c->time_base = AVRational{frameRate.den, frameRate.num};

      c->width = S.FrameWidth + S.PadLeft + S.PadRight;
      c->height = S.FrameHeight + S.PadTop + S.PadBottom;
      AVRational sar{0, 1};
      if (S.AspectRatio != 0 && c->width > 0 && c->height > 0)
        sar = AVL.av_d2q(static_cast<double>(S.AspectRatio) * c->height / c->width, 255);
      c->sample_aspect_ratio = sar;
      config.Stream->sample_aspect_ratio = sar;

      int pixFmt = S.PixelFormat;
      if (encoder && encoder->pix_fmts) {
        bool supported = false;
        for (const AVPixelFormat* p = encoder->pix_fmts; *p != AV_PIX_FMT_NONE; ++p)
          if (*p == pixFmt) supported = true;
        if (!supported) pixFmt = encoder->pix_fmts[0];
      }
      c->pix_fmt = static_cast<AVPixelFormat>(pixFmt);

      if (S.IntraOnly) c->gop_size = 0;
      if (S.VideoQScale != 0 || S.SameQuality) {
        c->flags |= AV_CODEC_FLAG_QSCALE;
        config.Quality = kQp2Lambda * S.VideoQScale;
        c->global_quality = static_cast<int>(config.Quality);
      }
      if (!S.IntraMatrix.empty()) c->intra_matrix = CopyMatrix(S.IntraMatrix);
      if (!S.InterMatrix.empty()) c->inter_matrix = CopyMatrix(S.InterMatrix);
      if (!rcOverride.empty()) {
        c->rc_override =
            static_cast<RcOverride*>(AVL.av_malloc_array(rcOverride.size(), sizeof(RcOverride)));
        if (!c->rc_override) throw FFMpegException("error parsing rc_override");
        std::copy(rcOverride.begin(), rcOverride.end(), c->rc_override);
        c->rc_override_count = static_cast<int>(rcOverride.size());
      }
      if (c->rc_initial_buffer_occupancy == 0) c->rc_initial_buffer_occupancy = c->rc_buffer_size * 3 / 4;
      if (S.MeThreshold != 0 && AVL.av_opt_find(c, "me_threshold", nullptr, 0, AV_OPT_SEARCH_CHILDREN))
        AVL.av_opt_set_int(c, "me_threshold", S.MeThreshold, AV_OPT_SEARCH_CHILDREN);
      c->intra_dc_precision = S.IntraDcPrecision - 8;
      if (S.DoPsnr) c->flags |= AV_CODEC_FLAG_PSNR;
      if (S.DoPass == 1) c->flags |= AV_CODEC_FLAG_PASS1;
      if (S.DoPass == 2) c->flags |= AV_CODEC_FLAG_PASS2;
    }
  } catch (...) {
    S.VideoCodecName.clear();
    throw;
  }
  file.Streams.push_back(std::move(config));
  S.VideoDisable = false;
  S.VideoCodecName.clear();
  S.VideoStreamCopy = false;
  S.VideoPrivateOptions.clear();
}

void TCustomFFmpeg::AddAudioStream(TOutputFileSlot& file) {
  AVFormatContext* oc = file.Context.get();
  TOutputStreamConfig config;
  try {
    AVCodecID codecId = AV_CODEC_ID_NONE;
    const AVCodec* encoder = nullptr;
    if (!S.AudioStreamCopy) {
      if (!S.AudioCodecName.empty()) {
        if (!FindCodecId(S.AudioCodecName, "encoder", AVMEDIA_TYPE_AUDIO, codecId, &encoder))
          throw FFMpegException(FLastError);
        config.OwnAmrNbEncoder = codecId == AV_CODEC_ID_AMR_NB && !encoder;
      } else {
        codecId = AVL.av_guess_codec(oc->oformat, nullptr, oc->url, nullptr, AVMEDIA_TYPE_AUDIO);
        encoder = AVL.avcodec_find_encoder(codecId);
        // The format's default AMR-NB has no library encoder: the engine's own.
        config.OwnAmrNbEncoder = codecId == AV_CODEC_ID_AMR_NB && !encoder;
      }
    }

    config.Stream = NewStream(oc, encoder, config.Codec);
    AVCodecContext* c = config.Codec.get();
    config.Encoder = encoder;
    c->codec_type = AVMEDIA_TYPE_AUDIO;
    c->thread_count = S.ThreadCount;
    if (S.AudioCodecTag) c->codec_tag = S.AudioCodecTag;
    AVCodecContext* audioOptions = FCodecOptions[msAudio].get();
    if (oc->oformat->flags & AVFMT_GLOBALHEADER) {
      c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
      if (audioOptions) audioOptions->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }

    if (S.AudioStreamCopy) {
      config.StreamCopy = true;
    } else {
      c->codec_id = codecId;
      CopyGenericOptions(c, audioOptions, AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
      SetPrivateOptions(c, encoder, S, TEngineSettings::kPrivateAudio);
      if (S.AudioQScale > -99999.0f) {
        c->flags |= AV_CODEC_FLAG_QSCALE;
        config.Quality = kQp2Lambda * S.AudioQScale;
        c->global_quality = static_cast<int>(config.Quality);
      }
      if (encoder && encoder->sample_fmts)
        c->sample_fmt = encoder->sample_fmts[0];
      else
        c->sample_fmt = AV_SAMPLE_FMT_S16;
    }
    AVL.av_channel_layout_uninit(&c->ch_layout);
    AVL.av_channel_layout_default(&c->ch_layout, S.AudioChannels);
    c->sample_rate = S.AudioSampleRate;
    c->time_base = AVRational{1, S.AudioSampleRate};
    if (!S.AudioLanguage.empty()) {
      AVL.av_dict_set(&config.Stream->metadata, "language", Limit(S.AudioLanguage, 3).c_str(), 0);
      S.AudioLanguage.clear();
    }
    if (S.AudioSourceStream >= 0) {
      config.SourceFile = 0;
      config.SourceStream = S.AudioSourceStream;
      S.AudioSourceStream = -1;
    }
  } catch (...) {
    S.AudioCodecName.clear();
    S.AudioLanguage.clear();
    throw;
  }
  file.Streams.push_back(std::move(config));
  S.AudioDisable = false;
  S.AudioCodecName.clear();
  S.AudioStreamCopy = false;
}

void TCustomFFmpeg::AddSubtitleStream(TOutputFileSlot& file) {
  AVFormatContext* oc = file.Context.get();
  TOutputStreamConfig config;
  try {
    AVCodecID codecId = AV_CODEC_ID_NONE;
    const AVCodec* encoder = nullptr;
    if (!S.SubtitleStreamCopy) {
      if (!FindCodecId(S.SubtitleCodecName, "encoder", AVMEDIA_TYPE_SUBTITLE, codecId, &encoder))
        throw FFMpegException(FLastError);
      if (S.SubtitleCodecName.empty()) {
        // Without a name the format's own subtitle codec, as for video and audio.
        codecId = AVL.av_guess_codec(oc->oformat, nullptr, oc->url, nullptr, AVMEDIA_TYPE_SUBTITLE);
        encoder = AVL.avcodec_find_encoder(codecId);
      }
    }
    config.Stream = NewStream(oc, encoder, config.Codec);
    AVCodecContext* c = config.Codec.get();
    config.Encoder = encoder;
    c->codec_type = AVMEDIA_TYPE_SUBTITLE;
    if (S.SubtitleStreamCopy) {
      config.StreamCopy = true;
    } else {
      CopyGenericOptions(c, FCodecOptions[msSubtitle].get(), AV_OPT_FLAG_SUBTITLE_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
      SetPrivateOptions(c, encoder, S, TEngineSettings::kPrivateSubtitle);
      c->codec_id = codecId;
    }
    if (!S.SubtitleLanguage.empty())
      AVL.av_dict_set(&config.Stream->metadata, "language", Limit(S.SubtitleLanguage, 3).c_str(), 0);
    S.SubtitleLanguage.clear();
  } catch (...) {
    S.SubtitleCodecName.clear();
    S.SubtitleLanguage.clear();
    throw;
  }
  file.Streams.push_back(std::move(config));
  S.SubtitleDisable = false;
  S.SubtitleCodecName.clear();
  S.SubtitleStreamCopy = false;
}

void TCustomFFmpeg::AddKeptSubtitleStreams(TOutputFileSlot& file) {
  const AVOutputFormat* format = file.Context->oformat;
  const auto holds = [format](AVCodecID codec) {
    return codec != AV_CODEC_ID_NONE && AVL.avformat_query_codec(format, codec, FF_COMPLIANCE_NORMAL) == 1;
  };
  for (size_t i = 0; i < FInputFiles.size(); ++i) {
    const AVFormatContext* ic = FInputFiles[i]->Context.get();
    for (unsigned j = 0; j < ic->nb_streams; ++j) {
      const AVStream* st = ic->streams[j];
      if (st->codecpar->codec_type != AVMEDIA_TYPE_SUBTITLE || st->discard == AVDISCARD_ALL) continue;
      const AVCodecID source = st->codecpar->codec_id;
      const AVCodecDescriptor* kind = AVL.avcodec_descriptor_get(source);
      bool copy = false;
      std::string encoder;
      if (kind && (kind->props & AV_CODEC_PROP_TEXT_SUB)) {
        // Cues of text: as they are where the container stores their codec,
        // else converted into the first text codec it stores.
        copy = holds(source);
        if (!copy && AVL.avcodec_find_decoder(source)) {
          for (const AVCodecID target :
               {format->subtitle_codec, AV_CODEC_ID_MOV_TEXT, AV_CODEC_ID_ASS, AV_CODEC_ID_SUBRIP, AV_CODEC_ID_WEBVTT}) {
            const AVCodec* codec = holds(target) ? AVL.avcodec_find_encoder(target) : nullptr;
            if (!codec) continue;
            encoder = codec->name;
            break;
          }
        }
      } else if (kind && (kind->props & AV_CODEC_PROP_BITMAP_SUB)) {
        // Cues of pictures are copied, and only into containers that store
        // their codec beside text of their own kind: those of mov_text
        // (MP4, MOV, 3GP) are played with text cues only.
        copy = holds(source) && !holds(AV_CODEC_ID_MOV_TEXT);
      }
      if (!copy && encoder.empty()) {
        if (S.Verbose >= 0)
          Log(1, FormatText("Subtitle stream #%d.%d (%s) left out: the %s container holds no such subtitles",
                            static_cast<int>(i), static_cast<int>(j), AVL.avcodec_get_name(source), format->name));
        continue;
      }
      S.SubtitleStreamCopy = copy;
      S.SubtitleCodecName = encoder;
      AddSubtitleStream(file);
      file.Streams.back().SourceFile = static_cast<int>(i);
      file.Streams.back().SourceStream = static_cast<int>(j);
    }
  }
}

std::string TCustomFFmpeg::SameFileRefusal(const std::string& output, const std::string& input) {
  return "Output file '" + output + "' is the same file as input file '" + input + "': an input is never overwritten";
}

bool TCustomFFmpeg::OpenOutputStream(TOutputFileSlot& file) {
  AVFormatContext* oc = file.Context.get();
  std::string target = LibraryFileName(file.Name);
  // A regular file, or a name not taken yet: written under its partial name,
  // which the job that chose the name may have reserved already. Nothing
  // appears under the output's own name before it is complete.
  struct stat st {};
  if (!file.LocalPath.empty() && (::stat(file.LocalPath.c_str(), &st) != 0 || S_ISREG(st.st_mode))) {
    std::shared_ptr<TOutputReservation> reservation = std::move(file.Reservation);
    if (!reservation) {
      // Reserving takes over a leftover partial file of the name: never one
      // that is an input of this run.
      struct stat partial {};
      if (::stat(PartialOutputPath(file.LocalPath).c_str(), &partial) == 0) {
        for (const auto& input : FInputFiles) {
          if (input->HasIdentity && input->Device == static_cast<uint64_t>(partial.st_dev) &&
              input->Inode == static_cast<uint64_t>(partial.st_ino)) {
            FLastError = "Could not open '" + file.Name + "': its partial file is input file '" + input->Name + "'";
            return false;
          }
        }
      }
      const TReservedOutput reserved = ReserveOutput(file.LocalPath, true);
      if (reserved.Result == TReserveResult::InUse) {
        FLastError = "Could not open '" + file.Name + "': another conversion is writing it";
        return false;
      }
      if (reserved.Result != TReserveResult::Reserved) {
        FLastError = "Could not open '" + file.Name + "': " + std::strerror(reserved.Error ? reserved.Error : EEXIST);
        return false;
      }
      reservation = reserved.Output;
    }
    target = "file:" + reservation->PartialPath();
    file.Reservation = std::move(reservation);
    // Muxers that read back what they wrote (the MP4 index moved to the
    // front) reopen the file by the context's name: that of the partial file.
    AVL.av_freep(&oc->url);
    oc->url = AVL.av_strdup(target.c_str());
    if (!oc->url) {
      FLastError = OpenErrorText(AVERROR(ENOMEM), file.Name);
      file.Reservation.reset();
      return false;
    }
  }
  const int ret = AVL.avio_open(&oc->pb, target.c_str(), AVIO_FLAG_WRITE);
  if (ret < 0) {
    FLastError = "Could not open '" + file.Name + "': " + AvErrorText(ret);
    file.Reservation.reset();
    return false;
  }
  return true;
}

bool TCustomFFmpeg::AddOutputFile(const std::string& fileName, std::shared_ptr<TOutputReservation> reservation) {
  const TClassicNumberScope classicNumbers;
  // Settings consumed by this output, cleared whatever the outcome so that
  // the next output starts from the defaults for them.
  struct ClearPerOutput {
    TEngineSettings& s;
    ~ClearPerOutput() {
      s.OutputFormat = nullptr;
      s.InputFormat = nullptr;
      s.VideoDisable = s.AudioDisable = s.SubtitleDisable = false;
      s.VideoStreamCopy = s.AudioStreamCopy = s.SubtitleStreamCopy = false;
      s.VideoCodecName.clear();
      s.AudioCodecName.clear();
      s.SubtitleCodecName.clear();
      s.VideoPrivateOptions.clear();
      s.MuxerPrivateOptions.clear();
      s.AudioSourceStream = -1;
      s.KeepSubtitles = false;
    }
  } clearPerOutput{S};

  if (static_cast<int>(FOutputFiles.size()) >= kMaxFiles) {
    FLastError = fileName + ": too many output files (at most " + std::to_string(kMaxFiles) + ")";
    return false;
  }

  // An output that is one of the inputs (under any spelling or link) would
  // replace it: refused before anything is opened.
  const std::string localPath = LocalFilePath(fileName);
  struct stat existing {};
  if (!localPath.empty() && ::stat(localPath.c_str(), &existing) == 0) {
    for (const auto& input : FInputFiles) {
      if (input->HasIdentity && input->Device == static_cast<uint64_t>(existing.st_dev) &&
          input->Inode == static_cast<uint64_t>(existing.st_ino)) {
        FLastError = SameFileRefusal(fileName, input->Name);
        return false;
      }
    }
  }

  const AVOutputFormat* format = S.OutputFormat;
  if (!format) format = AVL.av_guess_format(nullptr, fileName.c_str(), nullptr);
  if (!format) {
    FLastError = "Unable to find a suitable output format for '" + fileName + "'";
    return false;
  }
  // The context's name is what the muxer opens, also for files of its own.
  const std::string libraryName = LibraryFileName(fileName);
  AVFormatContext* allocated = nullptr;
  if (AVL.avformat_alloc_output_context2(&allocated, format, nullptr, libraryName.c_str()) < 0 || !allocated) {
    FLastError = OpenErrorText(AVERROR(ENOMEM), fileName);
    return false;
  }
  auto file = std::make_unique<TOutputFileSlot>();
  file->Context.reset(allocated);
  file->Reservation = std::move(reservation);
  AVFormatContext* oc = allocated;

  bool useVideo = S.VideoStreamCopy || format->video_codec != AV_CODEC_ID_NONE || !S.VideoCodecName.empty();
  bool useAudio = S.AudioStreamCopy || format->audio_codec != AV_CODEC_ID_NONE || !S.AudioCodecName.empty();
  bool useSubtitle =
      S.SubtitleStreamCopy || format->subtitle_codec != AV_CODEC_ID_NONE || !S.SubtitleCodecName.empty();
  if (!FInputFiles.empty()) {
    bool hasVideo, hasAudio, hasSubtitle;
    try {
      InputMediaKinds(hasVideo, hasAudio, hasSubtitle);
    } catch (const std::exception& e) {
      FLastError = std::string("check_audio_video_sub_inputs fail: ") + e.what();
      return false;
    }
    useVideo = useVideo && hasVideo;
    useAudio = useAudio && hasAudio;
    useSubtitle = useSubtitle && hasSubtitle;
  }
  if (useVideo && !S.VideoDisable) {
    try {
      AddVideoStream(*file);
    } catch (const std::exception& e) {
      FLastError = std::string("new_video_stream fail: ") + e.what();
      return false;
    }
  }
  if (useAudio && !S.AudioDisable) {
    try {
      AddAudioStream(*file);
    } catch (const std::exception& e) {
      FLastError = std::string("new_audio_stream fail: ") + e.what();
      return false;
    }
  }
  if (S.KeepSubtitles && !S.SubtitleDisable) {
    try {
      AddKeptSubtitleStreams(*file);
    } catch (const std::exception& e) {
      FLastError = std::string("new_subtitle_stream fail: ") + e.what();
      return false;
    }
  } else if (useSubtitle && !S.SubtitleDisable) {
    try {
      AddSubtitleStream(*file);
    } catch (const std::exception& e) {
      FLastError = std::string("new_subtitle_stream fail: ") + e.what();
      return false;
    }
  }

  if (S.RecordingTimestamp != 0) AVL.av_dict_set(&oc->metadata, "creation_time", IsoTime(S.RecordingTimestamp).c_str(), 0);
  const std::pair<const char*, const std::string*> texts[] = {{"title", &S.Title},         {"artist", &S.Author},
                                                              {"copyright", &S.Copyright}, {"comment", &S.Comment},
                                                              {"album", &S.Album}};
  for (const auto& [key, value] : texts)
    if (!value->empty()) AVL.av_dict_set(&oc->metadata, key, Limit(*value, 511).c_str(), 0);
  if (S.Year > 0) AVL.av_dict_set(&oc->metadata, "date", std::to_string(S.Year).c_str(), 0);
  if (S.Track > 0) AVL.av_dict_set(&oc->metadata, "track", std::to_string(S.Track).c_str(), 0);
  if (!S.Genre.empty()) AVL.av_dict_set(&oc->metadata, "genre", Limit(S.Genre, 31).c_str(), 0);

  if ((format->flags & AVFMT_NEEDNUMBER) && !AVL.av_filename_number_test(fileName.c_str())) {
    FLastError = OpenErrorText(AVERROR(EDOM), fileName);
    return false;
  }

  file->Name = fileName;
  file->LocalPath = localPath;
  if (!(format->flags & AVFMT_NOFILE) && !OpenOutputStream(*file)) return false;

  oc->max_delay = static_cast<int>(S.MuxMaxDelay * 1000000);
  AVDictionary* muxerOptions = nullptr;
  if (HasPrivateOption(format->priv_class, "preload"))
    AVL.av_dict_set(&muxerOptions, "preload", std::to_string(static_cast<int64_t>(S.MuxPreload * 1000000)).c_str(), 0);
  if (std::string(format->name) == "gif")
    AVL.av_dict_set(&muxerOptions, "loop", std::to_string(S.LoopOutput).c_str(), 0);
  for (const auto& o : S.PrivateOptions)
    if ((o.Targets & TEngineSettings::kPrivateMuxer) && HasPrivateOption(format->priv_class, o.Name.c_str()))
      AVL.av_dict_set(&muxerOptions, o.Name.c_str(), o.Value.c_str(), 0);
  for (const auto& [name, value] : S.MuxerPrivateOptions)
    if (HasPrivateOption(format->priv_class, name.c_str())) AVL.av_dict_set(&muxerOptions, name.c_str(), value.c_str(), 0);
  file->MuxerOptions.reset(muxerOptions);
  CopyGenericOptions(oc, FFormatOptions.get(), AV_OPT_FLAG_ENCODING_PARAM);

  FOutputFiles.push_back(std::move(file));
  return true;
}

}  // namespace fennick
