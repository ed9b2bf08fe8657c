// Transcode set-up: run tables, source choice, stream parameters, two-pass
// statistics files, codec opening, meta data, headers; the clean-up after the
// packet loop and the codec registries that every exit closes.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstring>

#include "engine/transcode_tables.h"

namespace fennick {

std::string FormatText(const char* format, ...) {
  char buf[1024];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  if (n < 0) return {};
  if (static_cast<size_t>(n) < sizeof buf) return std::string(buf, n);
  std::string big(static_cast<size_t>(n) + 1, '\0');
  va_start(args, format);
  std::vsnprintf(big.data(), big.size(), format, args);
  va_end(args);
  big.resize(static_cast<size_t>(n));
  return big;
}

namespace {

AVMediaType StreamType(const AVStream* st) { return st->codecpar->codec_type; }

// Whether an input stream may feed an output stream of `type` when no map
// says which: of that type, and not a picture attached to the file.
bool Matches(const AVStream* st, AVMediaType type) { return StreamType(st) == type && !IsAttachedPicture(st); }

// Index into the input stream table of the first unused stream of `type`
// that belongs to a program `programId`, or -1.
int FindProgramStream(const std::vector<std::unique_ptr<TInputFileSlot>>& inputs, const TTranscodeRun& run,
                      int programId, AVMediaType type) {
  for (size_t i = 0; i < inputs.size(); ++i) {
    const AVFormatContext* ic = inputs[i]->Context.get();
    for (unsigned p = 0; p < ic->nb_programs; ++p) {
      const AVProgram* program = ic->programs[p];
      if (program->id != programId) continue;
      for (unsigned j = 0; j < program->nb_stream_indexes; ++j) {
        const int sidx = run.InputFiles[i].FirstStreamIndex + static_cast<int>(program->stream_index[j]);
        if (sidx >= static_cast<int>(run.InputStreams.size())) continue;
        const TInputStream& ist = *run.InputStreams[sidx];
        if (ist.Discard && Matches(ist.Stream, type)) return sidx;
      }
    }
  }
  return -1;
}

std::string StreamLanguage(const AVStream* st) {
  const AVDictionaryEntry* e = AVL.av_dict_get(st->metadata, "language", nullptr, 0);
  return e && e->value ? e->value : "";
}

// Whether a container keeps each stream's first timestamp. Those that do
// not (they count frames or samples from the file's start instead) play a
// stream that starts late from the beginning.
bool StoresStreamStart(const AVOutputFormat* format) {
  if (format->flags & AVFMT_NOTIMESTAMPS) return false;
  for (const char* name : {"avi", "rm", "swf", "dv", "wav"})
    if (std::strcmp(format->name, name) == 0) return false;
  return true;
}

// Bit rate of an input stream: its own, else what the container's total
// leaves after the other streams' known rates; 0 when unknown.
int64_t SourceBitRate(const AVFormatContext* ic, const AVStream* st) {
  if (st->codecpar->bit_rate > 0) return st->codecpar->bit_rate;
  int64_t rest = ic->bit_rate;
  for (unsigned i = 0; i < ic->nb_streams && rest > 0; ++i)
    if (ic->streams[i] != st && ic->streams[i]->codecpar->bit_rate > 0) rest -= ic->streams[i]->codecpar->bit_rate;
  return std::max<int64_t>(rest, 0);
}

// The layout of an encoder's list (terminated by a zero channel count)
// nearest to `wanted` of `channels` channels: the same layout; else the
// most channels not above the wanted count (5.1 into a stereo-only encoder
// becomes stereo), else the fewest above it; of several with that count the
// standard layout for it, else the first listed.
const AVChannelLayout* ClosestLayout(const AVChannelLayout* list, const AVChannelLayout& wanted, int channels) {
  int best = 0;
  for (const AVChannelLayout* l = list; l->nb_channels; ++l) {
    if (AVL.av_channel_layout_compare(l, &wanted) == 0) return l;
    const int n = l->nb_channels;
    const bool fits = n <= channels, bestFits = best > 0 && best <= channels;
    if (best == 0 || (fits && (!bestFits || n > best)) || (!fits && !bestFits && n < best)) best = n;
  }
  AVChannelLayout standard{};
  AVL.av_channel_layout_default(&standard, best);
  const AVChannelLayout* first = nullptr;
  for (const AVChannelLayout* l = list; l->nb_channels; ++l) {
    if (l->nb_channels != best) continue;
    if (AVL.av_channel_layout_compare(l, &standard) == 0) return l;
    if (!first) first = l;
  }
  return first ? first : list;
}

// Chooses what the encoder accepts where the settings left a value the
// encoder does not support (sample format, rate, layout; pixel format).
void FitEncoderParameters(AVCodecContext* enc, const AVCodec* codec) {
  if (enc->codec_type == AVMEDIA_TYPE_AUDIO) {
    if (codec->sample_fmts) {
      bool ok = false;
      for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f) ok = ok || *f == enc->sample_fmt;
      if (!ok) enc->sample_fmt = codec->sample_fmts[0];
    } else if (enc->sample_fmt == AV_SAMPLE_FMT_NONE) {
      enc->sample_fmt = AV_SAMPLE_FMT_S16;
    }
    if (codec->supported_samplerates && enc->sample_rate > 0) {
      int best = codec->supported_samplerates[0];
      for (const int* r = codec->supported_samplerates; *r; ++r)
        if (std::abs(*r - enc->sample_rate) < std::abs(best - enc->sample_rate)) best = *r;
      if (best != enc->sample_rate) {
        enc->sample_rate = best;
        enc->time_base = AVRational{1, best};
      }
    }
    int channels = enc->ch_layout.nb_channels > 0 ? enc->ch_layout.nb_channels : 2;
    if (codec->ch_layouts) {
      AVChannelLayout copy{};
      AVL.av_channel_layout_copy(&copy, ClosestLayout(codec->ch_layouts, enc->ch_layout, channels));
      AVL.av_channel_layout_uninit(&enc->ch_layout);
      enc->ch_layout = copy;
    } else if (enc->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || enc->ch_layout.nb_channels == 0) {
      AVL.av_channel_layout_uninit(&enc->ch_layout);
      AVL.av_channel_layout_default(&enc->ch_layout, channels);
    }
    if (enc->time_base.num == 0 && enc->sample_rate > 0) enc->time_base = AVRational{1, enc->sample_rate};
  } else if (enc->codec_type == AVMEDIA_TYPE_VIDEO) {
    if (codec->pix_fmts) {
      bool ok = false;
      for (const AVPixelFormat* f = codec->pix_fmts; *f != AV_PIX_FMT_NONE; ++f) ok = ok || *f == enc->pix_fmt;
      if (!ok) enc->pix_fmt = codec->pix_fmts[0];
    } else if (enc->pix_fmt == AV_PIX_FMT_NONE) {
      enc->pix_fmt = AV_PIX_FMT_YUV420P;
    }
    if (enc->framerate.num == 0 && enc->time_base.num > 0) enc->framerate = av_inv_q(enc->time_base);
  }
}

}  // namespace

void TCustomFFmpeg::Transcode() {
  try {
    SetupTranscode();
    TranscodeLoop();
    FinishTranscode();
  } catch (...) {
    FreeTranscodeTables();
    throw;
  }
  // Close what the run opened, in the registries' terms.
  for (auto& ost : FRun->OutputStreams)
    if (ost->EncodingNeeded) {
      CloseEncoder(*ost);
      OpenEncoders.remove(ost.get());
    }
  for (auto& ist : FRun->InputStreams)
    if (ist->DecodingNeeded) {
      CloseDecoder(*ist);
      OpenDecoders.remove(ist.get());
    }
  FFinished = !FStopRequested;
  FreeTranscodeTables();
}

void TCustomFFmpeg::SetupTranscode() {
  FRun = std::make_unique<TTranscodeRun>();
  TTranscodeRun& run = *FRun;
  auto fail = [](const std::string& message) { throw FFMpegException(message); };

  // Read the scaler flags from the scaler option object.
  if (FScalerOptions) {
    int64_t flags = 0;
    if (AVL.av_opt_get_int(FScalerOptions.get(), "sws_flags", 0, &flags) >= 0) S.SwsFlags = static_cast<int>(flags);
  }

  // 1, 2: input files and streams.
  const int inputCount = static_cast<int>(FInputFiles.size());
  for (int i = 0; i < inputCount; ++i) {
    TInputFileSlot& slot = *FInputFiles[i];
    AVFormatContext* ic = slot.Context.get();
    TInputFile file;
    file.FirstStreamIndex = static_cast<int>(run.InputStreams.size());
    file.StreamCount = static_cast<int>(ic->nb_streams);
    file.RateEmu = slot.RateEmu;
    run.InputFiles.push_back(file);
    if (slot.Decoders.size() < ic->nb_streams) slot.Decoders.resize(ic->nb_streams);
    if (slot.DecoderCodecs.size() < ic->nb_streams) slot.DecoderCodecs.resize(ic->nb_streams, nullptr);
    for (unsigned j = 0; j < ic->nb_streams; ++j) {
      auto ist = std::make_unique<TInputStream>();
      ist->FileIndex = i;
      ist->StreamIndex = static_cast<int>(j);
      ist->Stream = ic->streams[j];
      if (!slot.Decoders[j]) {
        slot.Decoders[j].reset(AVL.avcodec_alloc_context3(nullptr));
        if (!slot.Decoders[j]) fail("av_mallocz fail");
        AVL.avcodec_parameters_to_context(slot.Decoders[j].get(), ist->Stream->codecpar);
      }
      ist->Decoder = slot.Decoders[j].get();
      ist->DecoderOwner = &slot.Decoders[j];
      ist->Discard = true;
      if (StreamType(ist->Stream) == AVMEDIA_TYPE_VIDEO) {
        const AVRational rate = AVL.av_guess_frame_rate(ic, ist->Stream, nullptr);
        if (rate.num > 0 && rate.den > 0) ist->FrameDuration = AVL.av_rescale(1000000, rate.den, rate.num);
      }
      run.InputStreams.push_back(std::move(ist));
    }
  }

  // 3: output stream count.
  const int outputCount = static_cast<int>(FOutputFiles.size());
  int outputStreamCount = 0;
  for (auto& file : FOutputFiles) {
    if (file->Streams.empty()) fail("Output file does not contain any stream");
    outputStreamCount += static_cast<int>(file->Streams.size());
  }

  // 4: stream maps.
  const int mapCount = static_cast<int>(FStreamMaps.size());
  if (mapCount > 0 && mapCount != outputStreamCount) fail("Number of stream maps must match number of output streams");
  for (const TStreamMap& m : FStreamMaps) {
    if (m.FileIndex < 0 || m.FileIndex >= inputCount || m.StreamIndex < 0 ||
        m.StreamIndex >= run.InputFiles[m.FileIndex].StreamCount)
      fail(FormatText("Could not find input stream #%d.%d", m.FileIndex, m.StreamIndex));
    if (m.SyncFileIndex < 0 || m.SyncFileIndex >= inputCount || m.SyncStreamIndex < 0 ||
        m.SyncStreamIndex >= run.InputFiles[m.SyncFileIndex].StreamCount)
      fail(FormatText("Could not find sync stream #%d.%d", m.SyncFileIndex, m.SyncStreamIndex));
  }

  // 5: output streams and their sources.
  run.OutputsByFile.resize(outputCount);
  run.OutputsBySource.resize(run.InputStreams.size());
  int n = 0;
  for (int i = 0; i < outputCount; ++i) {
    TOutputFileSlot& file = *FOutputFiles[i];
    AVFormatContext* oc = file.Context.get();
    for (size_t k = 0; k < file.Streams.size(); ++k, ++n) {
      TOutputStreamConfig& cfg = file.Streams[k];
      auto ost = std::make_unique<TOutputStream>();
      ost->FileIndex = i;
      ost->StreamIndex = static_cast<int>(k);
      ost->Stream = cfg.Stream;
      ost->Encoder = cfg.Codec.get();
      ost->EncoderOwner = &cfg.Codec;
      ost->Config = &cfg;
      ost->Codec = cfg.Encoder;
      ost->OwnAmrNbEncoder = cfg.OwnAmrNbEncoder;
      ost->Quality = cfg.Quality;
      ost->Type = ost->Encoder && ost->Encoder->codec_type != AVMEDIA_TYPE_UNKNOWN ? ost->Encoder->codec_type
                                                                                     : StreamType(cfg.Stream);
      ost->Packet.reset(AVL.av_packet_alloc());
      if (!ost->Encoder || !ost->Packet) fail("av_mallocz fail");

      int source = -1;
      if (mapCount > 0) {
        const TStreamMap& m = FStreamMaps[n];
        source = run.InputFiles[m.FileIndex].FirstStreamIndex + m.StreamIndex;
        if (StreamType(run.InputStreams[source]->Stream) != ost->Type) {
          AVL.av_dump_format(oc, i, oc->url, 1);
          fail(FormatText("Codec type mismatch for mapping #%d.%d -> #%d.%d", m.FileIndex, m.StreamIndex, i,
                          static_cast<int>(k)));
        }
      } else {
        if (S.OptProgramId) {
          source = FindProgramStream(FInputFiles, run, S.OptProgramId, ost->Type);
        } else {
          for (size_t j = 0; j < run.InputStreams.size(); ++j)
            if (run.InputStreams[j]->Discard && Matches(run.InputStreams[j]->Stream, ost->Type)) {
              source = static_cast<int>(j);
              break;
            }
          if (source < 0)
            for (size_t j = 0; j < run.InputStreams.size(); ++j)
              if (Matches(run.InputStreams[j]->Stream, ost->Type)) source = static_cast<int>(j);
        }
        if (source < 0) {
          AVL.av_dump_format(oc, i, oc->url, 1);
          fail(FormatText("Could not find input stream matching output stream #%d.%d", i, static_cast<int>(k)));
        }
      }
      ost->SourceIndex = source;
      run.InputStreams[source]->Discard = false;
      if (mapCount > 0) {
        const TStreamMap& m = FStreamMaps[n];
        ost->SyncInput = run.InputStreams[run.InputFiles[m.SyncFileIndex].FirstStreamIndex + m.SyncStreamIndex].get();
      } else {
        ost->SyncInput = run.InputStreams[source].get();
      }
      run.OutputsByFile[i].push_back(ost.get());
      run.OutputsBySource[source].push_back(ost.get());
      run.OutputStreams.push_back(std::move(ost));
    }
  }

  // 6: parameters of every output stream.
  n = 0;
  for (auto& ostPtr : run.OutputStreams) {
    TOutputStream& ost = *ostPtr;
    TInputStream& ist = *run.InputStreams[ost.SourceIndex];
    AVFormatContext* oc = FOutputFiles[ost.FileIndex]->Context.get();
    AVCodecContext* enc = ost.Encoder;
    AVCodecContext* dec = ist.Decoder;
    const AVCodecParameters* ipar = ist.Stream->codecpar;

    if (StreamLanguage(ost.Stream).empty()) {
      const std::string lang = StreamLanguage(ist.Stream).substr(0, 3);
      if (!lang.empty()) AVL.av_dict_set(&ost.Stream->metadata, "language", lang.c_str(), 0);
    }
    ost.Stream->disposition = ist.Stream->disposition;

    if (ost.Config->StreamCopy) {
      ost.EncodingNeeded = false;
      AVCodecParameters* par = ost.Stream->codecpar;
      uint32_t tag = enc->codec_tag;
      if (AVL.avcodec_parameters_copy(par, ipar) < 0) fail("av_mallocz fail");
      if (tag == 0) {
        // The source's tag only where it means the same codec to this
        // container (a tag of another container may name another codec here).
        const AVCodecTag* const* table = oc->oformat->codec_tag;
        if (!table || AVL.av_codec_get_id(table, ipar->codec_tag) == ipar->codec_id ||
            AVL.av_codec_get_tag(table, ipar->codec_id) == 0)
          tag = ipar->codec_tag;
      }
      par->codec_tag = tag;
      const AVRational stb = ist.Stream->time_base;
      // The decoder's time base: one frame, or one sample, exactly.
      AVRational dtb{0, 1};
      if (ipar->codec_type == AVMEDIA_TYPE_VIDEO) {
        const AVRational rate = AVL.av_guess_frame_rate(FInputFiles[ist.FileIndex]->Context.get(), ist.Stream, nullptr);
        if (rate.num > 0 && rate.den > 0) dtb = av_inv_q(rate);
      } else if (ipar->codec_type == AVMEDIA_TYPE_AUDIO && ipar->sample_rate > 0) {
        dtb = AVRational{1, ipar->sample_rate};
      }
      AVRational tb = stb;
      if (dtb.num > 0 && av_q2d(dtb) > av_q2d(stb) && av_q2d(stb) < 1.0 / 1000) tb = dtb;
      AVRational reduced;
      AVL.av_reduce(&reduced.num, &reduced.den, tb.num, tb.den, INT32_MAX);
      ost.Stream->time_base = reduced;
      ost.Stream->avg_frame_rate = ist.Stream->avg_frame_rate;
      ost.Stream->r_frame_rate = ist.Stream->r_frame_rate;
      ost.Stream->sample_aspect_ratio = ist.Stream->sample_aspect_ratio;
      enc->time_base = reduced;
      switch (ost.Type) {
        case AVMEDIA_TYPE_AUDIO:
          if (S.AudioVolume != 256) fail("-acodec copy and -vol are incompatible (frames are not decoded)");
          if ((par->block_align == 1 && par->codec_id == AV_CODEC_ID_MP3) || par->codec_id == AV_CODEC_ID_AC3)
            par->block_align = 0;
          break;
        case AVMEDIA_TYPE_VIDEO:
          if (OnCustomHook) fail("-vcodec copy and CustomHook are incompatible (frames are not decoded)");
          if (FUsingVHook) fail("-vcodec copy and -vhook are incompatible (frames are not decoded)");
          break;
        case AVMEDIA_TYPE_SUBTITLE:
          break;
        default:
          fail("invalid codec_type of output stream");
      }
    } else {
      // What the encoder will really take (layout, rate, formats), before
      // anything is sized for it; an unknown encoder fails when opened.
      if (ost.OwnAmrNbEncoder)
        FitOwnAmrNbParameters(enc);
      else if (const AVCodec* codec = ost.Codec ? ost.Codec : AVL.avcodec_find_encoder(enc->codec_id))
        FitEncoderParameters(enc, codec);
      switch (ost.Type) {
        case AVMEDIA_TYPE_AUDIO: {
          const int channels = enc->ch_layout.nb_channels > 0 ? enc->ch_layout.nb_channels : 2;
          ost.AudioFifo.reset(AVL.av_audio_fifo_alloc(AV_SAMPLE_FMT_S16, channels, std::max(1, 1024 / (2 * channels))));
          if (!ost.AudioFifo) fail("av_fifo_init fail");
          ost.AudioResample = enc->sample_rate != ipar->sample_rate || S.AudioSyncMethod >= 2;
          // Beside a picture, a late start the container cannot store becomes
          // leading silence.
          if (!StoresStreamStart(oc->oformat))
            for (const TOutputStream* other : run.OutputsByFile[ost.FileIndex])
              ost.CorrectStart = ost.CorrectStart || other->IsVideo();
          ist.RequestedChannels = channels;
          ist.DecodingNeeded = true;
          ost.EncodingNeeded = true;
          break;
        }
        case AVMEDIA_TYPE_VIDEO: {
          if (S.SameQuality && S.VideoQScale == 0) {
            // The source's picture quality is unknown (this library
            // generation's decoders do not report it): its bit rate is the
            // target instead of a fixed quantiser.
            enc->flags &= ~AV_CODEC_FLAG_QSCALE;
            enc->global_quality = 0;
            ost.Quality = 0;
            const int64_t rate = SourceBitRate(FInputFiles[ist.FileIndex]->Context.get(), ist.Stream);
            if (rate > 0) enc->bit_rate = rate;
          }
          ost.TempPicture.reset(AVL.av_frame_alloc());
          ost.CropView.reset(AVL.av_frame_alloc());
          ost.EncodeFrame.reset(AVL.av_frame_alloc());
          if (!ost.TempPicture || !ost.CropView || !ost.EncodeFrame) fail("av_mallocz fail");
          const int width = dec ? dec->width : ipar->width;
          const int height = dec ? dec->height : ipar->height;
          const AVPixelFormat format = dec ? dec->pix_fmt : static_cast<AVPixelFormat>(ipar->format);
          if (width > 0 && height > 0 && format != AV_PIX_FMT_NONE) {
            if (const char* message = ConfigureVideoGeometry(ost, S, width, height, format)) fail(message);
          }
          ist.DecodingNeeded = true;
          ost.EncodingNeeded = true;
          break;
        }
        case AVMEDIA_TYPE_SUBTITLE:
          // Decoded subtitles carry their times in microseconds.
          enc->time_base = AVRational{1, AV_TIME_BASE};
          ist.DecodingNeeded = true;
          ost.EncodingNeeded = true;
          break;
        default:
          fail("invalid codec_type of output stream");
      }
    }

    // Two-pass statistics.
    if (ost.EncodingNeeded && (enc->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2))) {
      std::string name = (S.PassLogFileName.empty() ? std::string("ffmpeg2pass") : S.PassLogFileName) + "-" +
                         std::to_string(n) + ".log";
      if (name.size() >= 1024) name.resize(1023);
      const bool x264 = ost.Codec && std::strcmp(ost.Codec->name, "libx264") == 0;
      if (x264) {
        // libx264 keeps its statistics in a file of its own under this name.
        AVDictionary* d = ost.Config->EncoderOptions.release();
        AVL.av_dict_set(&d, "stats", name.c_str(), AV_DICT_DONT_OVERWRITE);
        ost.Config->EncoderOptions.reset(d);
      } else if (enc->flags & AV_CODEC_FLAG_PASS1) {
        ost.PassLogFile.reset(std::fopen(name.c_str(), "w"));
        if (!ost.PassLogFile) fail("creat file fail: " + name);
      } else {
        FilePtr f(std::fopen(name.c_str(), "r"));
        if (!f) fail("creat open fail: " + name);
        std::fseek(f.get(), 0, SEEK_END);
        const long size = std::ftell(f.get());
        std::fseek(f.get(), 0, SEEK_SET);
        ost.StatsIn.reset(static_cast<char*>(AVL.av_malloc(static_cast<size_t>(std::max(0L, size)) + 1)));
        if (!ost.StatsIn) fail("Could not allocate log buffer");
        const size_t got = size > 0 ? std::fread(ost.StatsIn.get(), 1, static_cast<size_t>(size), f.get()) : 0;
        ost.StatsIn.get()[got] = 0;
        enc->stats_in = ost.StatsIn.get();
      }
    }
    ++n;
  }

  // 8: the output formats, as the library describes them.
  for (auto& ost : run.OutputStreams)
    if (ost->EncodingNeeded) AVL.avcodec_parameters_from_context(ost->Stream->codecpar, ost->Encoder);
  for (int i = 0; i < outputCount; ++i) {
    AVFormatContext* oc = FOutputFiles[i]->Context.get();
    AVL.av_dump_format(oc, i, oc->url, 1);
  }

  // 9: the stream mapping.
  if (S.Verbose >= 0 && OnLog) {
    Log(1, "Stream mapping:");
    for (auto& ost : run.OutputStreams) {
      const TInputStream& src = *run.InputStreams[ost->SourceIndex];
      Log(1, FormatText("  Stream #%d.%d -> #%d.%d", src.FileIndex, src.StreamIndex, ost->FileIndex, ost->StreamIndex));
      if (ost->SyncInput != &src)
        Log(1, FormatText(" [sync #%d.%d]", ost->SyncInput->FileIndex, ost->SyncInput->StreamIndex));
    }
  }

  const auto openDecoder = [&](TInputStream& ist) {
    if (std::find(OpenDecoders.begin(), OpenDecoders.end(), &ist) != OpenDecoders.end()) return;
    AVCodecContext* dec = ist.Decoder;
    const AVCodec* codec = FInputFiles[ist.FileIndex]->DecoderCodecs[ist.StreamIndex];
    if (!codec) codec = AVL.avcodec_find_decoder(dec->codec_id);
    if (!codec)
      fail(FormatText("Unsupported codec (id=%d) for input stream #%d.%d", static_cast<int>(dec->codec_id),
                      ist.FileIndex, ist.StreamIndex));
    dec->pkt_timebase = ist.Stream->time_base;
    dec->thread_count = S.ThreadCount;
    int ret;
    {
      std::lock_guard<TCodecLock> lock(CodecLock());
      ret = AVL.avcodec_open2(dec, codec, nullptr);
    }
    if (ret < 0) fail(FormatText("Error while opening codec for input stream #%d.%d", ist.FileIndex, ist.StreamIndex));
    OpenDecoders.push_front(&ist);
  };

  // 10: encoders.
  for (auto& ostPtr : run.OutputStreams) {
    TOutputStream& ost = *ostPtr;
    if (!ost.EncodingNeeded) continue;
    AVCodecContext* enc = ost.Encoder;
    if (ost.Type == AVMEDIA_TYPE_SUBTITLE) {
      // Text subtitle encoders start from the style header that the source's
      // decoder makes when it opens (the ASS header of the cues), so that
      // decoder is opened first.
      TInputStream& ist = *run.InputStreams[ost.SourceIndex];
      openDecoder(ist);
      if (ist.Decoder->subtitle_header && ist.Decoder->subtitle_header_size > 0 && !enc->subtitle_header) {
        const int size = ist.Decoder->subtitle_header_size;
        enc->subtitle_header = static_cast<uint8_t*>(AVL.av_mallocz(static_cast<size_t>(size) + 1));
        if (!enc->subtitle_header) fail("av_mallocz fail");
        std::memcpy(enc->subtitle_header, ist.Decoder->subtitle_header, static_cast<size_t>(size));
        enc->subtitle_header_size = size;
      }
    }
    if (ost.OwnAmrNbEncoder) {
      {
        std::lock_guard<TCodecLock> lock(CodecLock());
        OpenOwnAudioEncoder(ost);
      }
      OpenEncoders.push_front(&ost);
    } else {
      const AVCodec* codec = ost.Codec ? ost.Codec : AVL.avcodec_find_encoder(enc->codec_id);
      if (!codec) fail(FormatText("Unsupported codec for output stream #%d.%d", ost.FileIndex, ost.StreamIndex));
      ost.Codec = codec;
      enc->thread_count = S.ThreadCount;
      AVDictionary* options = ost.Config->EncoderOptions.release();
      int ret;
      {
        std::lock_guard<TCodecLock> lock(CodecLock());
        ret = AVL.avcodec_open2(enc, codec, &options);
      }
      ost.Config->EncoderOptions.reset(options);
      if (ret < 0)
        fail(FormatText("Error while opening codec for output stream #%d.%d - maybe incorrect parameters such as "
                        "bit_rate, rate, width or height",
                        ost.FileIndex, ost.StreamIndex));
      OpenEncoders.push_front(&ost);
    }
    run.HeaderBytes += enc->extradata_size;
    AVL.avcodec_parameters_from_context(ost.Stream->codecpar, enc);
    ost.Stream->time_base = enc->time_base;
    if (ost.IsVideo()) {
      ost.Stream->avg_frame_rate = enc->framerate;
      ost.Stream->sample_aspect_ratio = enc->sample_aspect_ratio;
    }
  }

  // 11: decoders (those of subtitle sources are open already).
  for (auto& istPtr : run.InputStreams)
    if (istPtr->DecodingNeeded) openDecoder(*istPtr);

  // 12: input clocks.
  for (auto& ist : run.InputStreams) {
    ist->Pts = 0;
    ist->NextPts = AV_NOPTS_VALUE;
    ist->IsStart = true;
  }

  // 13: meta-data maps.
  for (const TMetaDataMap& m : FMetaDataMaps) {
    if (m.OutputFile < 0 || m.OutputFile >= outputCount)
      fail(FormatText("Invalid output file index %d map_meta_data(%d,%d)", m.OutputFile, m.OutputFile, m.InputFile));
    if (m.InputFile < 0 || m.InputFile >= inputCount)
      fail(FormatText("Invalid input file index %d map_meta_data(%d,%d)", m.InputFile, m.OutputFile, m.InputFile));
    AVFormatContext* out = FOutputFiles[m.OutputFile]->Context.get();
    const AVFormatContext* in = FInputFiles[m.InputFile]->Context.get();
    static const char* const kKeys[] = {"title", "artist", "author", "copyright", "comment", "album",
                                        "date",  "year",   "track",  "genre"};
    for (const char* key : kKeys) {
      const AVDictionaryEntry* e = AVL.av_dict_get(in->metadata, key, nullptr, 0);
      if (e && e->value) AVL.av_dict_set(&out->metadata, key, e->value, 0);
    }
  }

  // 14: headers, and the session description for rtp outputs.
  for (int i = 0; i < outputCount; ++i) {
    TOutputFileSlot& file = *FOutputFiles[i];
    AVDictionary* options = nullptr;
    if (file.MuxerOptions) AVL.av_dict_copy(&options, file.MuxerOptions.get(), 0);
    const int ret = AVL.avformat_write_header(file.Context.get(), &options);
    AVL.av_dict_free(&options);
    if (ret < 0) fail(FormatText("Could not write header for output file #%d (incorrect codec parameters ?)", i));
    if (const int error = OutputStreamError(file.Context.get())) fail(WriteErrorText("avformat_write_header()", error));
  }
  bool allRtp = outputCount > 0;
  for (auto& file : FOutputFiles) allRtp = allRtp && std::strcmp(file->Context->oformat->name, "rtp") == 0;
  if (allRtp && OnLog) {
    std::vector<AVFormatContext*> contexts;
    for (auto& file : FOutputFiles) contexts.push_back(file->Context.get());
    char sdp[2048] = {};
    AVL.av_sdp_create(contexts.data(), static_cast<int>(contexts.size()), sdp, sizeof sdp);
    std::string text(sdp);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    Log(1, "SDP: " + text);
  }

  run.ReadPacket.reset(AVL.av_packet_alloc());
  run.DecodedFrame.reset(AVL.av_frame_alloc());
  run.WorkFrame.reset(AVL.av_frame_alloc());
  if (!run.ReadPacket || !run.DecodedFrame || !run.WorkFrame) fail("av_mallocz fail");

  // 15.
  run.ReportClock = AVL.av_gettime_relative();
  run.LastReportTime = run.ReportClock;
}

void TCustomFFmpeg::CloseEncoder(TOutputStream& ost) {
  if (ost.Encoder) ost.Encoder->stats_in = nullptr;
  ost.StatsIn.reset();
  {
    std::lock_guard<TCodecLock> lock(CodecLock());
    if (ost.EncoderOwner) ost.EncoderOwner->reset();
    ost.AmrNb.reset();
  }
  ost.Encoder = nullptr;
}

void TCustomFFmpeg::CloseDecoder(TInputStream& ist) {
  {
    std::lock_guard<TCodecLock> lock(CodecLock());
    if (ist.DecoderOwner) ist.DecoderOwner->reset();
  }
  ist.Decoder = nullptr;
}

void TCustomFFmpeg::CloseOpenEncoders() {
  while (!OpenEncoders.empty()) {
    TOutputStream* ost = OpenEncoders.front();
    OpenEncoders.pop_front();
    if (ost->EncodingNeeded) CloseEncoder(*ost);
  }
  if (FRun && FRun->Released && OpenDecoders.empty()) FRun.reset();
}

void TCustomFFmpeg::CloseOpenDecoders() {
  while (!OpenDecoders.empty()) {
    TInputStream* ist = OpenDecoders.front();
    OpenDecoders.pop_front();
    if (ist->DecodingNeeded) CloseDecoder(*ist);
  }
  if (FRun && FRun->Released && OpenEncoders.empty()) FRun.reset();
}

void TCustomFFmpeg::FreeTranscodeTables() {
  if (!FRun) return;
  TTranscodeRun& run = *FRun;
  for (auto& ost : run.OutputStreams) {
    ost->PassLogFile.reset();
    ost->AudioFifo.reset();
    ost->TempPicture.reset();
    ost->CropView.reset();
    ost->EncodeFrame.reset();
    ost->TempPool.Pool.reset();
    ost->CropConvert.reset();
    ost->CropPool.Pool.reset();
    ost->CropPicture.reset();
    ost->PadConvert.reset();
    ost->ComposePool.Pool.reset();
    ost->ComposePicture.reset();
    ost->PadBackground.reset();
    ost->ScaleContext.reset();
    ost->ResampleContext.reset();
    ost->EncoderConvert.reset();
    ost->EncoderFrame.reset();
    ost->Packet.reset();
    bool open = false;
    for (TOutputStream* o : OpenEncoders) open = open || o == ost.get();
    if (!open) {
      // An encoder that never reached the registry holds nothing of the run.
      if (ost->Encoder) ost->Encoder->stats_in = nullptr;
      ost->StatsIn.reset();
      ost->AmrNb.reset();
    }
  }
  run.ReadPacket.reset();
  run.DecodedFrame.reset();
  run.WorkFrame.reset();
  run.WorkPool.Pool.reset();
  run.SubtitleOutBuffer.reset();
  run.VStatsFile.reset();
  // Stream records still registered as open stay until the registries are
  // walked (CloseOpenEncoders/CloseOpenDecoders), so that no registry entry
  // ever points at a freed record.
  if (OpenEncoders.empty() && OpenDecoders.empty())
    FRun.reset();
  else
    run.Released = true;
}

}  // namespace fennick
