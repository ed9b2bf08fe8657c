// Transcode set-up, step by step (TTranscodeSetup): run tables, source
// choice, stream parameters, two-pass statistics files, codec opening, meta
// data, headers. Then the end of a run: its codecs closed in table order, or,
// after a failure, in the order of the open-codec registries.
#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>

#include "engine/transcode_tables.h"

namespace fennick {

namespace {

constexpr AVRational kMicroseconds{1, AV_TIME_BASE};

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

// Whether a picture of `codec` written into `format` keeps its pixel aspect.
// The containers listed store none; in them only codecs that carry it in
// their own stream (H.264, HEVC, MPEG-4) keep it.
bool StoresPixelAspect(const AVOutputFormat* format, AVCodecID codec) {
  if (codec == AV_CODEC_ID_H264 || codec == AV_CODEC_ID_HEVC || codec == AV_CODEC_ID_MPEG4) return true;
  for (const char* name : {"flv", "swf", "avm2", "rm"})
    if (std::strcmp(format->name, name) == 0) return false;
  return true;
}

// Picture widths and heights an encoder codes are multiples of this.
int FrameSizeStep(AVCodecID codec) {
  if (codec == AV_CODEC_ID_RV10) return 16;
  if (codec == AV_CODEC_ID_RV20 || codec == AV_CODEC_ID_H263) return 4;
  return 2;
}

// A layout of pictures in a graphics device's memory, not in the
// computer's.
bool IsHardwareFormat(AVPixelFormat format) {
  const AVPixFmtDescriptor* desc = AVL.av_pix_fmt_desc_get(format);
  return desc && (desc->flags & AV_PIX_FMT_FLAG_HWACCEL);
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
      // The nearest rate not below the wanted one, so that nothing of the
      // sound's band is lost (44100 or 32000 Hz into Opus: 48000); the
      // highest where all are below.
      int above = 0, highest = 0;
      for (const int* r = codec->supported_samplerates; *r; ++r) {
        highest = std::max(highest, *r);
        if (*r >= enc->sample_rate && (above == 0 || *r < above)) above = *r;
      }
      const int best = above > 0 ? above : highest;
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

// Whether an encoder codes exactly the samples it is given (FLAC, ALAC,
// PCM), so that their width is worth keeping.
bool IsLosslessEncoder(const AVCodec* codec) {
  const AVCodecDescriptor* d = AVL.avcodec_descriptor_get(codec->id);
  return d && (d->props & AV_CODEC_PROP_LOSSLESS) && !(d->props & AV_CODEC_PROP_LOSSY);
}

// The sample format of `codec` that holds interleaved `format` samples
// unchanged: that format or its planar form; none when it takes neither.
AVSampleFormat SampleFormatHolding(const AVCodec* codec, AVSampleFormat format) {
  if (!codec->sample_fmts) return AV_SAMPLE_FMT_NONE;
  AVSampleFormat found = AV_SAMPLE_FMT_NONE;
  for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f) {
    if (*f == format) return *f;
    if (AVL.av_get_packed_sample_fmt(*f) == format) found = *f;
  }
  return found;
}

// Bits of a source's samples: as the stream states them, else for a
// lossless codec the width of its samples; lossy codecs' samples have no
// depth of their own and count as 16 bits.
int SourceBits(const AVStream* st) {
  const AVCodecParameters* par = st->codecpar;
  if (par->bits_per_raw_sample > 0) return par->bits_per_raw_sample;
  const AVCodecDescriptor* d = AVL.avcodec_descriptor_get(par->codec_id);
  if (d && (d->props & AV_CODEC_PROP_LOSSLESS) && !(d->props & AV_CODEC_PROP_LOSSY) && par->format >= 0)
    return 8 * AVL.av_get_bytes_per_sample(static_cast<AVSampleFormat>(par->format));
  return 16;
}

// Bits a lossless encoder keeps of a source of `bits`: PCM has a fixed
// width; FLAC and ALAC of this library generation code at most 24 bits.
int StoredBits(const AVCodec* codec, int bits) {
  const int fixed = AVL.av_get_bits_per_sample(codec->id);
  return std::min(bits, fixed > 0 ? fixed : 24);
}

// Containers that keep a song's cover as its cover (ID3 picture, MP4
// "covr", FLAC picture block), and the picture codecs all of them take.
// Others would store it as a one-picture video (Matroska, ASF) or not at all.
bool KeepsCover(const AVOutputFormat* format) {
  for (const char* name : {"mp3", "ipod", "mp4", "flac"})
    if (std::strcmp(format->name, name) == 0) return true;
  return false;
}
bool IsCoverCodec(AVCodecID codec) { return codec == AV_CODEC_ID_MJPEG || codec == AV_CODEC_ID_PNG; }

// Tags that describe how the source file was made rather than what it
// holds: the program that wrote it, its MP4 brands, and its encoder's delay
// and padding, which would trim the wrong samples of a new encoding.
bool DescribesSourceFile(const char* key) {
  for (const char* name : {"encoder", "major_brand", "minor_version", "compatible_brands", "iTunSMPB"})
    if (strcasecmp(key, name) == 0) return true;
  return false;
}

// A chapter not yet handed to an output context, which frees it from then on.
struct ChapterDeleter {
  void operator()(AVChapter* chapter) const {
    AVL.av_dict_free(&chapter->metadata);
    AVL.av_free(chapter);
  }
};
using ChapterPtr = std::unique_ptr<AVChapter, ChapterDeleter>;

}  // namespace

// The steps of SetupTranscode, in the order it takes them, over the engine's
// files, maps and settings and the run tables they fill. A step that fails
// raises FFMpegException; what was built so far belongs to the run tables
// and goes with them.
struct TTranscodeSetup {
  TCustomFFmpeg& E;
  TTranscodeRun& Run;
  TEngineSettings& S;
  std::vector<std::unique_ptr<TInputFileSlot>>& Inputs;
  std::vector<std::unique_ptr<TOutputFileSlot>>& Outputs;

  explicit TTranscodeSetup(TCustomFFmpeg& engine)
      : E(engine), Run(*engine.FRun), S(engine.S), Inputs(engine.FInputFiles), Outputs(engine.FOutputFiles) {}

  [[noreturn]] static void Fail(const std::string& message) { throw FFMpegException(message); }

  int InputCount() const { return static_cast<int>(Inputs.size()); }
  int OutputCount() const { return static_cast<int>(Outputs.size()); }
  TInputStream& SourceOf(const TOutputStream& ost) { return *Run.InputStreams[ost.SourceIndex]; }

  // The scaler flags as the scaler option object holds them.
  void ReadScalerFlags() {
    if (!E.FScalerOptions) return;
    int64_t flags = 0;
    if (AVL.av_opt_get_int(E.FScalerOptions.get(), "sws_flags", 0, &flags) >= 0) S.SwsFlags = static_cast<int>(flags);
  }

  // One record per input file and per input stream; each stream takes the
  // decoder context its file prepared.
  void BuildInputTables() {
    for (int i = 0; i < InputCount(); ++i) {
      TInputFileSlot& slot = *Inputs[i];
      AVFormatContext* ic = slot.Context.get();
      TInputFile file;
      file.FirstStreamIndex = static_cast<int>(Run.InputStreams.size());
      file.StreamCount = static_cast<int>(ic->nb_streams);
      file.RateEmu = slot.RateEmu;
      Run.InputFiles.push_back(std::move(file));
      if (slot.DecoderCodecs.size() < ic->nb_streams) slot.DecoderCodecs.resize(ic->nb_streams, nullptr);
      for (unsigned j = 0; j < ic->nb_streams; ++j) {
        auto ist = std::make_unique<TInputStream>();
        ist->FileIndex = i;
        ist->StreamIndex = static_cast<int>(j);
        ist->Stream = ic->streams[j];
        if (j < slot.Decoders.size()) ist->Decoder = std::move(slot.Decoders[j]);
        if (!ist->Decoder) {
          ist->Decoder.reset(AVL.avcodec_alloc_context3(nullptr));
          if (!ist->Decoder) Fail("av_mallocz fail");
          AVL.avcodec_parameters_to_context(ist->Decoder.get(), ist->Stream->codecpar);
        }
        if (StreamType(ist->Stream) == AVMEDIA_TYPE_VIDEO) {
          const AVRational rate = AVL.av_guess_frame_rate(ic, ist->Stream, nullptr);
          if (rate.num > 0 && rate.den > 0) ist->FrameDuration = AVL.av_rescale(1000000, rate.den, rate.num);
        }
        Run.InputStreams.push_back(std::move(ist));
      }
    }
  }

  // Every output file has a stream; the stream maps, if any, name one
  // existing input stream and one existing sync stream per output stream.
  void CheckStreamMaps() {
    int outputStreamCount = 0;
    for (auto& file : Outputs) {
      if (file->Streams.empty()) Fail("Output file does not contain any stream");
      outputStreamCount += static_cast<int>(file->Streams.size());
    }
    const int mapCount = static_cast<int>(E.FStreamMaps.size());
    if (mapCount > 0 && mapCount != outputStreamCount)
      Fail("Number of stream maps must match number of output streams");
    for (const TStreamMap& m : E.FStreamMaps) {
      if (m.FileIndex < 0 || m.FileIndex >= InputCount() || m.StreamIndex < 0 ||
          m.StreamIndex >= Run.InputFiles[m.FileIndex].StreamCount)
        Fail(FormatText("Could not find input stream #%d.%d", m.FileIndex, m.StreamIndex));
      if (m.SyncFileIndex < 0 || m.SyncFileIndex >= InputCount() || m.SyncStreamIndex < 0 ||
          m.SyncStreamIndex >= Run.InputFiles[m.SyncFileIndex].StreamCount)
        Fail(FormatText("Could not find sync stream #%d.%d", m.SyncFileIndex, m.SyncStreamIndex));
    }
  }

  // The cover of a song goes with its tags: for every meta-data map whose
  // output has sound and a container that keeps a cover, the first
  // attached picture of the map's input (JPEG or PNG) becomes a copied
  // stream of that output, marked as its cover. Only without stream maps,
  // which say themselves what each output holds; at most one cover an
  // output.
  void AddAttachedPictures() {
    if (!E.FStreamMaps.empty()) return;
    for (const TMetaDataMap& m : E.FMetaDataMaps) {
      if (m.OutputFile < 0 || m.OutputFile >= OutputCount() || m.InputFile < 0 || m.InputFile >= InputCount()) continue;
      TOutputFileSlot& file = *Outputs[m.OutputFile];
      const int source = CoverOf(m.InputFile);
      bool hasAudio = false, hasCover = false;
      for (const TOutputStreamConfig& cfg : file.Streams) {
        hasAudio = hasAudio || (cfg.Codec && cfg.Codec->codec_type == AVMEDIA_TYPE_AUDIO);
        hasCover = hasCover || cfg.AttachedPictureSource >= 0;
      }
      if (source < 0 || !hasAudio || hasCover) continue;
      if (!KeepsCover(file.Context->oformat)) {
        if (S.Verbose > 0)
          E.Log(1, FormatText("Input #%d: its cover picture is left out of output file #%d, whose container (%s) "
                              "keeps none",
                              m.InputFile, m.OutputFile, file.Context->oformat->name));
        continue;
      }
      TOutputStreamConfig cover;
      cover.Codec.reset(AVL.avcodec_alloc_context3(nullptr));
      if (!cover.Codec) Fail("av_mallocz fail");
      cover.Codec->codec_type = AVMEDIA_TYPE_VIDEO;
      cover.Stream = AVL.avformat_new_stream(file.Context.get(), nullptr);
      if (!cover.Stream) Fail("av_mallocz fail");
      cover.Stream->id = static_cast<int>(file.Context->nb_streams) - 1;
      cover.StreamCopy = true;
      cover.AttachedPictureSource = source;
      file.Streams.push_back(std::move(cover));
    }
  }

  // The input stream table index of input file `i`'s first attached
  // picture that a cover can be, or -1.
  int CoverOf(int i) const {
    const TInputFile& file = Run.InputFiles[i];
    for (int k = 0; k < file.StreamCount; ++k) {
      const AVStream* st = Run.InputStreams[file.FirstStreamIndex + k]->Stream;
      if (IsAttachedPicture(st) && IsCoverCodec(st->codecpar->codec_id)) return file.FirstStreamIndex + k;
    }
    return -1;
  }

  // One record per output stream, taking its encoder context from the
  // stream's configuration, with the input stream that feeds it and the one
  // it keeps in step with: those of the `n`th map for the `n`th output
  // stream, or without maps its source for both.
  void ChooseSourceStreams() {
    Run.OutputsBySource.resize(Run.InputStreams.size());
    int n = 0;
    for (int i = 0; i < OutputCount(); ++i) {
      TOutputFileSlot& file = *Outputs[i];
      Run.Writers.push_back(std::make_unique<TOutputWriter>(i, file.Context.get()));
      for (size_t k = 0; k < file.Streams.size(); ++k, ++n) {
        TOutputStreamConfig& cfg = file.Streams[k];
        auto ost = std::make_unique<TOutputStream>();
        ost->FileIndex = i;
        ost->StreamIndex = static_cast<int>(k);
        ost->Stream = cfg.Stream;
        ost->Encoder = std::move(cfg.Codec);
        ost->Config = &cfg;
        ost->Codec = cfg.Encoder;
        ost->OwnAmrNbEncoder = cfg.OwnAmrNbEncoder;
        ost->Quality = cfg.Quality;
        ost->Type = ost->Encoder && ost->Encoder->codec_type != AVMEDIA_TYPE_UNKNOWN ? ost->Encoder->codec_type
                                                                                       : StreamType(cfg.Stream);
        ost->Packet.reset(AVL.av_packet_alloc());
        if (!ost->Encoder || !ost->Packet) Fail("av_mallocz fail");
        ost->AttachedPicture = cfg.AttachedPictureSource >= 0;
        const int source = ost->AttachedPicture      ? cfg.AttachedPictureSource
                           : E.FStreamMaps.empty() ? UnmappedSource(*ost)
                                                   : MappedSource(*ost, E.FStreamMaps[n]);
        ost->SourceIndex = source;
        Run.InputStreams[source]->Discard = false;
        if (E.FStreamMaps.empty()) {
          ost->SyncIndex = source;
        } else {
          const TStreamMap& m = E.FStreamMaps[n];
          ost->SyncIndex = Run.InputFiles[m.SyncFileIndex].FirstStreamIndex + m.SyncStreamIndex;
        }
        TOutputStream& added = Run.Writers.back()->AddStream(std::move(ost));
        Run.OutputsBySource[source].push_back(&added);
        Run.OutputStreams.push_back(&added);
      }
    }
  }

  // Outputs of sound alone last as long as the sound they take, not as the
  // source's picture may (a film whose picture goes on after its sound):
  // their progress and their early end are judged by that.
  void FitTotalDurationToSound() {
    if (S.RecordingTime != std::numeric_limits<int64_t>::max()) return;
    int64_t longest = -1;
    for (const auto& ost : Run.OutputStreams) {
      if (ost->IsVideo()) return;
      if (!ost->IsAudio()) continue;
      const AVStream* st = Run.InputStreams[ost->SourceIndex]->Stream;
      if (st->duration == AV_NOPTS_VALUE || st->duration <= 0) return;
      longest = std::max(longest, AVL.av_rescale_q(st->duration, st->time_base, AVRational{1, 1000}));
    }
    if (longest > 0 && longest < E.FTotalOutputDuration) E.FTotalOutputDuration = static_cast<int>(longest);
  }

  // The library encoder an output stream opens; none for the engine's own.
  static const AVCodec* EncoderOf(const TOutputStream& ost) {
    if (ost.OwnAmrNbEncoder) return nullptr;
    return ost.Codec ? ost.Codec : AVL.avcodec_find_encoder(ost.Encoder->codec_id);
  }

  // Whether input stream `source` passes its decoded samples on as 32-bit
  // integers: it has more than 16 bits, and every stream re-encoding it has
  // a lossless encoder that takes such samples. Everything else gets 16 bits.
  bool KeepsWideSamples(int source) {
    if (SourceBits(Run.InputStreams[source]->Stream) <= 16) return false;
    for (const TOutputStream* o : Run.OutputsBySource[source]) {
      if (o->Config->StreamCopy) continue;
      const AVCodec* codec = EncoderOf(*o);
      if (!codec || !IsLosslessEncoder(codec) || SampleFormatHolding(codec, AV_SAMPLE_FMT_S32) == AV_SAMPLE_FMT_NONE)
        return false;
    }
    return true;
  }

  // Whether a source decoded to floating-point samples is passed on as
  // such: every encoder fed from it takes them (lossy encoders mostly code
  // floating point), so that no rounding to 16 bits comes in between (its
  // noise fills the band above a lossy source's cut-off, which the encoder
  // then spends bits and time on).
  bool KeepsFloatSamples(int source) {
    const AVCodecParameters* par = Run.InputStreams[source]->Stream->codecpar;
    if (par->format != AV_SAMPLE_FMT_FLT && par->format != AV_SAMPLE_FMT_FLTP) return false;
    bool encoded = false;
    for (const TOutputStream* o : Run.OutputsBySource[source]) {
      if (o->Config->StreamCopy) continue;
      const AVCodec* codec = EncoderOf(*o);
      if (o->OwnAmrNbEncoder || !codec || SampleFormatHolding(codec, AV_SAMPLE_FMT_FLT) == AV_SAMPLE_FMT_NONE)
        return false;
      encoded = true;
    }
    return encoded;
  }

  int MappedSource(const TOutputStream& ost, const TStreamMap& m) {
    const int source = Run.InputFiles[m.FileIndex].FirstStreamIndex + m.StreamIndex;
    if (StreamType(Run.InputStreams[source]->Stream) != ost.Type) {
      DumpOutputFormat(ost.FileIndex);
      Fail(FormatText("Codec type mismatch for mapping #%d.%d -> #%d.%d", m.FileIndex, m.StreamIndex, ost.FileIndex,
                      ost.StreamIndex));
    }
    return source;
  }

  // The stream fixed for an output stream, checked as a map's.
  int FixedSource(const TOutputStream& ost) {
    const int file = ost.Config->SourceFile, stream = ost.Config->SourceStream;
    if (file >= InputCount() || stream < 0 || stream >= Run.InputFiles[file].StreamCount)
      Fail(FormatText("Could not find input stream #%d.%d", file, stream));
    return MappedSource(ost, TStreamMap{file, stream, file, stream});
  }

  // Without maps: the stream fixed when the output stream was made, if
  // any; else the first stream of the type that no output stream took yet
  // (of the chosen program, when one is), else the last stream of the type
  // (without a program).
  int UnmappedSource(const TOutputStream& ost) {
    if (ost.Config->SourceFile >= 0) return FixedSource(ost);
    int source = -1;
    if (S.OptProgramId) {
      source = FindProgramStream(Inputs, Run, S.OptProgramId, ost.Type);
    } else {
      for (size_t j = 0; j < Run.InputStreams.size() && source < 0; ++j)
        if (Run.InputStreams[j]->Discard && Matches(Run.InputStreams[j]->Stream, ost.Type))
          source = static_cast<int>(j);
      if (source < 0)
        for (size_t j = 0; j < Run.InputStreams.size(); ++j)
          if (Matches(Run.InputStreams[j]->Stream, ost.Type)) source = static_cast<int>(j);
    }
    if (source < 0) {
      DumpOutputFormat(ost.FileIndex);
      Fail(FormatText("Could not find input stream matching output stream #%d.%d", ost.FileIndex, ost.StreamIndex));
    }
    return source;
  }

  // The parameters of every output stream: its language and disposition
  // from the source, then those of a copied stream or of its encoder, then
  // its two-pass statistics.
  void ConfigureOutputStreams() {
    int n = 0;
    for (auto& ost : Run.OutputStreams) {
      TInputStream& ist = SourceOf(*ost);
      InheritLanguageAndDisposition(*ost, ist);
      if (ost->Config->StreamCopy)
        ConfigureStreamCopy(*ost, ist);
      else
        ConfigureEncoder(*ost, ist);
      if (ost->EncodingNeeded && (ost->Encoder->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2)))
        OpenPassStatistics(*ost, n);
      ++n;
    }
  }

  static void InheritLanguageAndDisposition(TOutputStream& ost, const TInputStream& ist) {
    if (StreamLanguage(ost.Stream).empty()) {
      const std::string lang = StreamLanguage(ist.Stream).substr(0, 3);
      if (!lang.empty()) AVL.av_dict_set(&ost.Stream->metadata, "language", lang.c_str(), 0);
    }
    ost.Stream->disposition = ist.Stream->disposition;
  }

  // A copied stream: the source's parameters, a tag this container reads as
  // the same codec, and a time base of one frame or one sample where the
  // source's is finer than a millisecond.
  void ConfigureStreamCopy(TOutputStream& ost, const TInputStream& ist) {
    AVCodecContext* enc = ost.Encoder.get();
    const AVCodecParameters* ipar = ist.Stream->codecpar;
    const AVFormatContext* oc = Outputs[ost.FileIndex]->Context.get();
    ost.EncodingNeeded = false;
    AVCodecParameters* par = ost.Stream->codecpar;
    uint32_t tag = enc->codec_tag;
    if (AVL.avcodec_parameters_copy(par, ipar) < 0) Fail("av_mallocz fail");
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
      const AVRational rate = AVL.av_guess_frame_rate(Inputs[ist.FileIndex]->Context.get(), ist.Stream, nullptr);
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
        if (S.AudioVolume != 256) Fail("-acodec copy and -vol are incompatible (frames are not decoded)");
        if ((par->block_align == 1 && par->codec_id == AV_CODEC_ID_MP3) || par->codec_id == AV_CODEC_ID_AC3)
          par->block_align = 0;
        break;
      case AVMEDIA_TYPE_VIDEO:
        if (ost.AttachedPicture) break;  // no picture of the video is copied
        if (E.OnCustomHook) Fail("-vcodec copy and CustomHook are incompatible (frames are not decoded)");
        if (E.FUsingVHook) Fail("-vcodec copy and -vhook are incompatible (frames are not decoded)");
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        break;
      default:
        Fail("invalid codec_type of output stream");
    }
  }

  // A re-encoded stream: the encoder's parameters fitted to what it takes
  // (layout, rate, formats) before anything is sized for it (an unknown
  // encoder fails when opened), then the audio FIFO or the pictures and the
  // video geometry; its source is decoded.
  void ConfigureEncoder(TOutputStream& ost, TInputStream& ist) {
    AVCodecContext* enc = ost.Encoder.get();
    const AVCodecContext* dec = ist.Decoder.get();
    const AVCodecParameters* ipar = ist.Stream->codecpar;
    const AVCodec* codec = EncoderOf(ost);
    if (ost.OwnAmrNbEncoder)
      FitOwnAmrNbParameters(enc);
    else if (codec)
      FitEncoderParameters(enc, codec);
    // An encoder of the graphics device takes its pictures in the device's
    // memory: they are made in an ordinary layout and copied there.
    if (ost.Type == AVMEDIA_TYPE_VIDEO && IsHardwareFormat(enc->pix_fmt)) {
      ost.HardwareEncoder = true;
      enc->pix_fmt = ost.HardwareSoftwareFormat;
    }
    switch (ost.Type) {
      case AVMEDIA_TYPE_AUDIO: {
        const int channels = enc->ch_layout.nb_channels > 0 ? enc->ch_layout.nb_channels : 2;
        // A lossless encoder takes the samples in the width they are passed
        // on in (ALAC of a 16-bit source codes 16 bits, not 24).
        ost.AudioFormat = ist.AudioFormat = KeepsWideSamples(ost.SourceIndex)    ? AV_SAMPLE_FMT_S32
                                            : KeepsFloatSamples(ost.SourceIndex) ? AV_SAMPLE_FMT_FLT
                                                                                 : AV_SAMPLE_FMT_S16;
        if (ost.AudioFormat == AV_SAMPLE_FMT_FLT) {
          enc->sample_fmt = SampleFormatHolding(codec, AV_SAMPLE_FMT_FLT);
        } else if (codec && IsLosslessEncoder(codec)) {
          const AVSampleFormat holding = SampleFormatHolding(codec, ost.AudioFormat);
          if (holding != AV_SAMPLE_FMT_NONE) enc->sample_fmt = holding;
          if (ost.AudioFormat == AV_SAMPLE_FMT_S32)
            enc->bits_per_raw_sample = StoredBits(codec, SourceBits(ist.Stream));
        }
        const int sampleBytes = AVL.av_get_bytes_per_sample(ost.AudioFormat);
        ost.AudioFifo.reset(
            AVL.av_audio_fifo_alloc(ost.AudioFormat, channels, std::max(1, 1024 / (sampleBytes * channels))));
        if (!ost.AudioFifo) Fail("av_fifo_init fail");
        ost.AudioResample = enc->sample_rate != ipar->sample_rate || S.AudioSyncMethod >= 2;
        // Beside a picture, a late start the container cannot store becomes
        // leading silence.
        if (!StoresStreamStart(Outputs[ost.FileIndex]->Context->oformat))
          for (const auto& other : Run.Writers[ost.FileIndex]->Streams())
            ost.CorrectStart = ost.CorrectStart || other->IsVideo();
        ist.RequestedChannels = channels;
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
          const int64_t rate = SourceBitRate(Inputs[ist.FileIndex]->Context.get(), ist.Stream);
          if (rate > 0) enc->bit_rate = rate;
        }
        ost.TempPicture.reset(AVL.av_frame_alloc());
        ost.CropView.reset(AVL.av_frame_alloc());
        ost.EncodeFrame.reset(AVL.av_frame_alloc());
        if (!ost.TempPicture || !ost.CropView || !ost.EncodeFrame) Fail("av_mallocz fail");
        SquarePixels(ost);
        const int width = dec ? dec->width : ipar->width;
        const int height = dec ? dec->height : ipar->height;
        const AVPixelFormat format = dec ? dec->pix_fmt : static_cast<AVPixelFormat>(ipar->format);
        if (width > 0 && height > 0 && format != AV_PIX_FMT_NONE) {
          if (const char* message = ConfigureVideoGeometry(ost, S, width, height, format)) Fail(message);
        }
        break;
      }
      case AVMEDIA_TYPE_SUBTITLE:
        CheckSubtitleKinds(ost, ipar->codec_id);
        // Decoded subtitles carry their times in microseconds.
        enc->time_base = AVRational{1, AV_TIME_BASE};
        break;
      default:
        Fail("invalid codec_type of output stream");
    }
    ist.DecodingNeeded = true;
    ost.EncodingNeeded = true;
  }

  // Where the picture cannot keep its pixel aspect, its pixels become
  // square at the same height and display shape: the width follows the
  // aspect, rounded to one the encoder codes, and the scaler is sized after
  // it.
  void SquarePixels(TOutputStream& ost) {
    AVCodecContext* enc = ost.Encoder.get();
    const AVRational sar = enc->sample_aspect_ratio;
    if (sar.num <= 0 || sar.den <= 0 || sar.num == sar.den || enc->width <= 0 || enc->height <= 0) return;
    if (StoresPixelAspect(Outputs[ost.FileIndex]->Context->oformat, enc->codec_id)) return;
    const int step = FrameSizeStep(enc->codec_id);
    const double exact = static_cast<double>(enc->width) * sar.num / sar.den;
    const int width = std::max(step, static_cast<int>(std::lround(exact / step)) * step);
    if (AVL.av_image_check_size(static_cast<unsigned>(width), static_cast<unsigned>(enc->height), 0, nullptr) < 0)
      return;
    if (S.Verbose > 0)
      E.Log(1, FormatText("Output stream #%d.%d: %dx%d with square pixels (the container keeps no pixel aspect)",
                          ost.FileIndex, ost.StreamIndex, width, enc->height));
    enc->width = width;
    enc->sample_aspect_ratio = AVRational{1, 1};
  }

  // A subtitle encoder takes cues of its own kind only: text encoders
  // refuse pictures and bitmap encoders refuse text, cue by cue.
  void CheckSubtitleKinds(const TOutputStream& ost, AVCodecID sourceId) {
    const AVCodecID encoderId = ost.Codec ? ost.Codec->id : ost.Encoder->codec_id;
    const AVCodecDescriptor* source = AVL.avcodec_descriptor_get(sourceId);
    const AVCodecDescriptor* encoder = AVL.avcodec_descriptor_get(encoderId);
    if (!source || !encoder) return;
    constexpr int kKinds = AV_CODEC_PROP_TEXT_SUB | AV_CODEC_PROP_BITMAP_SUB;
    const int sourceKind = source->props & kKinds, encoderKind = encoder->props & kKinds;
    if (sourceKind == 0 || encoderKind == 0 || (sourceKind & encoderKind)) return;
    const char* const sourceText = sourceKind & AV_CODEC_PROP_TEXT_SUB ? "text" : "bitmap";
    const char* const encoderText = encoderKind & AV_CODEC_PROP_TEXT_SUB ? "text" : "bitmap";
    Fail(FormatText("Subtitle encoding currently only possible from text to text or bitmap to bitmap: output "
                    "stream #%d.%d would encode %s subtitles (%s) with the %s encoder %s",
                    ost.FileIndex, ost.StreamIndex, sourceText, source->name, encoderText,
                    ost.Codec ? ost.Codec->name : encoder->name));
  }

  // The statistics file of a two-pass encoding, named after the `n`th
  // output stream: written in the first pass, read whole and handed to the
  // encoder in the second; libx264 keeps its own file under that name.
  void OpenPassStatistics(TOutputStream& ost, int n) {
    AVCodecContext* enc = ost.Encoder.get();
    std::string name = (S.PassLogFileName.empty() ? std::string("ffmpeg2pass") : S.PassLogFileName) + "-" +
                       std::to_string(n) + ".log";
    if (name.size() >= 1024) name.resize(1023);
    if (ost.Codec && std::strcmp(ost.Codec->name, "libx264") == 0) {
      AVDictionary* d = ost.Config->EncoderOptions.release();
      AVL.av_dict_set(&d, "stats", name.c_str(), AV_DICT_DONT_OVERWRITE);
      ost.Config->EncoderOptions.reset(d);
    } else if (enc->flags & AV_CODEC_FLAG_PASS1) {
      ost.PassLogFile.reset(std::fopen(name.c_str(), "w"));
      if (!ost.PassLogFile) Fail("creat file fail: " + name);
    } else {
      FilePtr f(std::fopen(name.c_str(), "r"));
      if (!f) Fail("creat open fail: " + name);
      std::fseek(f.get(), 0, SEEK_END);
      const long size = std::ftell(f.get());
      std::fseek(f.get(), 0, SEEK_SET);
      ost.StatsIn.reset(static_cast<char*>(AVL.av_malloc(static_cast<size_t>(std::max(0L, size)) + 1)));
      if (!ost.StatsIn) Fail("Could not allocate log buffer");
      const size_t got = size > 0 ? std::fread(ost.StatsIn.get(), 1, static_cast<size_t>(size), f.get()) : 0;
      ost.StatsIn.get()[got] = 0;
      enc->stats_in = ost.StatsIn.get();
    }
  }

  void DumpOutputFormat(int i) {
    AVFormatContext* oc = Outputs[i]->Context.get();
    AVL.av_dump_format(oc, i, oc->url, 1);
  }

  // The output formats as the library describes them, with the encoders'
  // settings.
  void DumpOutputFormats() {
    for (auto& ost : Run.OutputStreams)
      if (ost->EncodingNeeded) AVL.avcodec_parameters_from_context(ost->Stream->codecpar, ost->Encoder.get());
    for (int i = 0; i < OutputCount(); ++i) DumpOutputFormat(i);
  }

  void LogStreamMapping() {
    if (S.Verbose < 0 || !E.OnLog) return;
    E.Log(1, "Stream mapping:");
    for (auto& ost : Run.OutputStreams) {
      const TInputStream& src = SourceOf(*ost);
      E.Log(1, FormatText("  Stream #%d.%d -> #%d.%d", src.FileIndex, src.StreamIndex, ost->FileIndex,
                          ost->StreamIndex));
      if (ost->SyncIndex != ost->SourceIndex) {
        const TInputStream& sync = *Run.InputStreams[ost->SyncIndex];
        E.Log(1, FormatText(" [sync #%d.%d]", sync.FileIndex, sync.StreamIndex));
      }
    }
  }

  // Opens a stream's decoder (once) under CodecLock and registers it.
  void OpenDecoder(TInputStream& ist) {
    if (std::find(Run.OpenDecoders.begin(), Run.OpenDecoders.end(), &ist) != Run.OpenDecoders.end()) return;
    AVCodecContext* dec = ist.Decoder.get();
    const AVCodec* codec = Inputs[ist.FileIndex]->DecoderCodecs[ist.StreamIndex];
    if (!codec) codec = AVL.avcodec_find_decoder(dec->codec_id);
    if (!codec)
      Fail(FormatText("Unsupported codec (id=%d) for input stream #%d.%d", static_cast<int>(dec->codec_id),
                      ist.FileIndex, ist.StreamIndex));
    dec->pkt_timebase = ist.Stream->time_base;
    dec->thread_count = S.ThreadCount;
    int ret;
    {
      std::lock_guard<TCodecLock> lock(CodecLock());
      ret = AVL.avcodec_open2(dec, codec, nullptr);
    }
    if (ret < 0) Fail(FormatText("Error while opening codec for input stream #%d.%d", ist.FileIndex, ist.StreamIndex));
    Run.OpenDecoders.push_front(&ist);
  }

  // Text subtitle encoders start from the style header that the source's
  // decoder makes when it opens (the ASS header of the cues), so that
  // decoder is opened first.
  void TakeSubtitleHeader(TOutputStream& ost) {
    TInputStream& ist = SourceOf(ost);
    OpenDecoder(ist);
    AVCodecContext* enc = ost.Encoder.get();
    const AVCodecContext* dec = ist.Decoder.get();
    if (!dec->subtitle_header || dec->subtitle_header_size <= 0 || enc->subtitle_header) return;
    const int size = dec->subtitle_header_size;
    enc->subtitle_header = static_cast<uint8_t*>(AVL.av_mallocz(static_cast<size_t>(size) + 1));
    if (!enc->subtitle_header) Fail("av_mallocz fail");
    std::memcpy(enc->subtitle_header, dec->subtitle_header, static_cast<size_t>(size));
    enc->subtitle_header_size = size;
  }

  // Opens a stream's encoder (or the engine's own) under CodecLock,
  // registers it and gives the muxer's stream the encoder's parameters.
  void OpenEncoder(TOutputStream& ost) {
    AVCodecContext* enc = ost.Encoder.get();
    if (ost.Type == AVMEDIA_TYPE_SUBTITLE) TakeSubtitleHeader(ost);
    if (ost.OwnAmrNbEncoder) {
      {
        std::lock_guard<TCodecLock> lock(CodecLock());
        E.OpenOwnAudioEncoder(ost);
      }
      Run.OpenEncoders.push_front(&ost);
    } else {
      const AVCodec* codec = ost.Codec ? ost.Codec : AVL.avcodec_find_encoder(enc->codec_id);
      if (!codec) Fail(FormatText("Unsupported codec for output stream #%d.%d", ost.FileIndex, ost.StreamIndex));
      ost.Codec = codec;
      enc->thread_count = S.ThreadCount;
      if (ost.HardwareEncoder) SetUpHardwareFrames(ost);
      AVDictionary* options = ost.Config->EncoderOptions.release();
      int ret;
      {
        std::lock_guard<TCodecLock> lock(CodecLock());
        ret = AVL.avcodec_open2(enc, codec, &options);
      }
      ost.Config->EncoderOptions.reset(options);
      if (ret < 0)
        Fail(FormatText("Error while opening codec for output stream #%d.%d - maybe incorrect parameters such as "
                        "bit_rate, rate, width or height",
                        ost.FileIndex, ost.StreamIndex));
      Run.OpenEncoders.push_front(&ost);
    }
    Run.HeaderBytes += enc->extradata_size;
    AVL.avcodec_parameters_from_context(ost.Stream->codecpar, enc);
    ost.Stream->time_base = enc->time_base;
    if (ost.IsVideo()) {
      ost.Stream->avg_frame_rate = enc->framerate;
      ost.Stream->sample_aspect_ratio = enc->sample_aspect_ratio;
    }
  }

  // The graphics device (VAAPI, the system's default render node) and a
  // set of its frames in the picture's size, handed to the encoder.
  void SetUpHardwareFrames(TOutputStream& ost) {
    AVCodecContext* enc = ost.Encoder.get();
    const auto refuse = [&](const char* step, int code) {
      Fail(FormatText("Cannot use the hardware encoder of output stream #%d.%d: %s: %s", ost.FileIndex,
                      ost.StreamIndex, step, AvErrorText(code).c_str()));
    };
    AVBufferRef* device = nullptr;
    int ret = AVL.av_hwdevice_ctx_create(&device, AV_HWDEVICE_TYPE_VAAPI, nullptr, nullptr, 0);
    if (ret < 0) refuse("no graphics device", ret);
    const BufferRefPtr deviceRef(device);
    BufferRefPtr frames(AVL.av_hwframe_ctx_alloc(device));
    if (!frames) refuse("no frames", AVERROR(ENOMEM));
    auto* context = reinterpret_cast<AVHWFramesContext*>(frames->data);
    context->format = AV_PIX_FMT_VAAPI;
    context->sw_format = ost.HardwareSoftwareFormat;
    context->width = enc->width;
    context->height = enc->height;
    context->initial_pool_size = 20;
    ret = AVL.av_hwframe_ctx_init(frames.get());
    if (ret < 0) refuse("frames of this size", ret);
    enc->hw_frames_ctx = AVL.av_buffer_ref(frames.get());
    if (!enc->hw_frames_ctx) refuse("no frames", AVERROR(ENOMEM));
    enc->pix_fmt = AV_PIX_FMT_VAAPI;
    ost.HardwareFrame.reset(AVL.av_frame_alloc());
    if (!ost.HardwareFrame) refuse("no frames", AVERROR(ENOMEM));
    ost.HardwareFrames = std::move(frames);
  }

  void OpenEncoders() {
    for (auto& ost : Run.OutputStreams)
      if (ost->EncodingNeeded) OpenEncoder(*ost);
  }

  // Those of subtitle sources are open already.
  void OpenDecoders() {
    for (auto& ist : Run.InputStreams)
      if (ist->DecodingNeeded) OpenDecoder(*ist);
  }

  // The meta-data maps: each copies the input file's tags into the output
  // file, but for those that describe the source file itself, and its
  // chapters (its cover came as a stream, AddAttachedPictures). A
  // container keeps what it can store of them.
  void CopyMetaData() {
    for (const TMetaDataMap& m : E.FMetaDataMaps) {
      if (m.OutputFile < 0 || m.OutputFile >= OutputCount())
        Fail(FormatText("Invalid output file index %d map_meta_data(%d,%d)", m.OutputFile, m.OutputFile, m.InputFile));
      if (m.InputFile < 0 || m.InputFile >= InputCount())
        Fail(FormatText("Invalid input file index %d map_meta_data(%d,%d)", m.InputFile, m.OutputFile, m.InputFile));
      AVFormatContext* out = Outputs[m.OutputFile]->Context.get();
      const AVFormatContext* in = Inputs[m.InputFile]->Context.get();
      for (const AVDictionaryEntry* e = nullptr; (e = AVL.av_dict_get(in->metadata, "", e, AV_DICT_IGNORE_SUFFIX));)
        if (e->value && !DescribesSourceFile(e->key)) AVL.av_dict_set(&out->metadata, e->key, e->value, 0);
      if (out->nb_chapters == 0) CopyChapters(*Inputs[m.InputFile], out);
    }
  }

  // The input's chapters on the output's time line (the input's offset
  // added, the start position taken off), those of the recorded part only
  // and cut to it.
  void CopyChapters(const TInputFileSlot& input, AVFormatContext* out) {
    const AVFormatContext* in = input.Context.get();
    for (unsigned i = 0; i < in->nb_chapters; ++i) {
      const AVChapter* c = in->chapters[i];
      const int64_t shift = AVL.av_rescale_q(input.TsOffset - S.StartTime, kMicroseconds, c->time_base);
      const int64_t length = S.RecordingTime == std::numeric_limits<int64_t>::max()
                                 ? std::numeric_limits<int64_t>::max()
                                 : AVL.av_rescale_q(S.RecordingTime, kMicroseconds, c->time_base);
      const int64_t start = c->start + shift, end = c->end + shift;
      if (end <= 0) continue;
      if (start >= length) break;
      auto** grown =
          static_cast<AVChapter**>(AVL.av_realloc(out->chapters, (out->nb_chapters + 1) * sizeof(AVChapter*)));
      if (!grown) Fail("av_mallocz fail");
      out->chapters = grown;
      ChapterPtr chapter(static_cast<AVChapter*>(AVL.av_mallocz(sizeof(AVChapter))));
      if (!chapter || AVL.av_dict_copy(&chapter->metadata, c->metadata, 0) < 0) Fail("av_mallocz fail");
      chapter->id = c->id;
      chapter->time_base = c->time_base;
      chapter->start = std::max<int64_t>(start, 0);
      chapter->end = std::min(end, length);
      out->chapters[out->nb_chapters++] = chapter.release();
    }
  }

  // A header that could not be written for want of space or another system
  // error names that error (the muxer's own result may be a generic one);
  // otherwise the muxer refused the streams' parameters.
  void WriteHeaders() {
    for (int i = 0; i < OutputCount(); ++i) {
      TOutputFileSlot& file = *Outputs[i];
      AVDictionary* options = nullptr;
      if (file.MuxerOptions) AVL.av_dict_copy(&options, file.MuxerOptions.get(), 0);
      const int ret = AVL.avformat_write_header(file.Context.get(), &options);
      AVL.av_dict_free(&options);
      if (const int error = OutputStreamError(file.Context.get()))
        Fail(WriteErrorText(FormatText("Could not write header for output file #%d", i).c_str(), error));
      if (ret < 0) Fail(FormatText("Could not write header for output file #%d (incorrect codec parameters ?)", i));
    }
  }

  // When every output is an rtp stream: the session description.
  void LogSessionDescription() {
    bool allRtp = OutputCount() > 0;
    for (auto& file : Outputs) allRtp = allRtp && std::strcmp(file->Context->oformat->name, "rtp") == 0;
    if (!allRtp || !E.OnLog) return;
    std::vector<AVFormatContext*> contexts;
    for (auto& file : Outputs) contexts.push_back(file->Context.get());
    char sdp[2048] = {};
    AVL.av_sdp_create(contexts.data(), static_cast<int>(contexts.size()), sdp, sizeof sdp);
    E.Log(1, "SDP: " + std::string(Trim(sdp)));
  }

  // The packet and frames the loop reuses, the conversion stage's records
  // of the input streams, and the start of the loop's clock.
  void PrepareLoop() {
    for (TInputFile& file : Run.InputFiles) {
      file.ReadPacket.reset(AVL.av_packet_alloc());
      file.DecodedFrame.reset(AVL.av_frame_alloc());
      if (!file.ReadPacket || !file.DecodedFrame) Fail("av_mallocz fail");
    }
    Run.WorkFrame.reset(AVL.av_frame_alloc());
    if (!Run.WorkFrame) Fail("av_mallocz fail");
    Run.InputSync.resize(Run.InputStreams.size());
    for (size_t i = 0; i < Run.InputStreams.size(); ++i) {
      const TInputStream& ist = *Run.InputStreams[i];
      TInputSync& sync = Run.InputSync[i];
      sync.FileIndex = ist.FileIndex;
      sync.StreamIndex = ist.StreamIndex;
      sync.Type = StreamType(ist.Stream);
      sync.TimeBase = ist.Stream->time_base;
      sync.Discard = ist.Discard;
      sync.RequestedChannels = ist.RequestedChannels;
      sync.AudioFormat = ist.AudioFormat;
    }
    // Sound waits for the picture in files with a re-encoded picture.
    for (const auto& writer : Run.Writers) {
      bool picture = false, sound = false;
      for (const auto& ost : writer->Streams()) {
        picture = picture || (ost->IsVideo() && ost->EncodingNeeded);
        sound = sound || ost->IsAudio();
      }
      writer->HoldSoundBehindPicture(picture && sound);
    }
    Run.ReportClock = AVL.av_gettime_relative();
    Run.LastReportTime = Run.ReportClock;
  }
};

void TCustomFFmpeg::SetupTranscode() {
  FRun = std::make_unique<TTranscodeRun>();
  TTranscodeSetup setup(*this);
  setup.ReadScalerFlags();
  setup.BuildInputTables();
  setup.AddAttachedPictures();
  setup.CheckStreamMaps();
  setup.ChooseSourceStreams();
  setup.FitTotalDurationToSound();
  setup.ConfigureOutputStreams();
  setup.DumpOutputFormats();
  setup.LogStreamMapping();
  setup.OpenEncoders();
  setup.OpenDecoders();
  setup.CopyMetaData();
  setup.WriteHeaders();
  setup.LogSessionDescription();
  setup.PrepareLoop();
}

void TCustomFFmpeg::Transcode() {
  // A failure leaves the run tables to the run operation: it reports the
  // error, closes the registered codecs (CloseOpenEncoders,
  // CloseOpenDecoders) and then frees the tables.
  SetupTranscode();
  try {
    TranscodeLoop();
    FinishTranscode();
  } catch (...) {
    // The reader threads end before the codecs they use are closed.
    StopStageThreads();
    throw;
  }
  // A run that ends normally closes its codecs in table order, encoders
  // first; those of a stopped run close after its end is reported.
  for (auto& ost : FRun->OutputStreams) {
    if (!ost->EncodingNeeded) continue;
    if (FStopRequested && ost->Encoder) {
      ost->Encoder->stats_in = nullptr;
      FStoppedEncoders.push_back(std::move(ost->Encoder));
    }
    ost->CloseEncoder();
  }
  for (auto& ist : FRun->InputStreams)
    if (ist->DecodingNeeded) ist->CloseDecoder();
  FRun->OpenEncoders.clear();
  FRun->OpenDecoders.clear();
  FFinished = !FStopRequested;
  FreeTranscodeTables();
}

AVPixelFormat TOutputStream::PictureFormat() const {
  return HardwareEncoder ? HardwareSoftwareFormat : Encoder->pix_fmt;
}

void EndEncoderBeforeFree(AVCodecContext* enc) {
  // SVT-AV1 frees itself only after it has ended its stream, and it ends a
  // stream only once it has had a picture: otherwise its clean-up, or the
  // end itself, waits for ever ("deinit called without sending EOS"), as
  // after a run that failed before the first picture. It gets one blank
  // picture and the end, and what it still gives is thrown away; an encoder
  // that has ended already refuses both at once. Others are freed as they
  // are.
  if (!enc || !enc->codec || !enc->codec->name || std::string_view(enc->codec->name) != "libsvtav1") return;
  FramePtr blank(AVL.av_frame_alloc());
  PacketPtr packet(AVL.av_packet_alloc());
  if (!blank || !packet) return;
  blank->format = enc->pix_fmt;
  blank->width = enc->width;
  blank->height = enc->height;
  if (AVL.av_frame_get_buffer(blank.get(), 0) < 0) return;
  for (AVBufferRef* buffer : blank->buf)
    if (buffer) std::memset(buffer->data, 0, buffer->size);
  const int sent = AVL.avcodec_send_frame(enc, blank.get());
  if (sent < 0 && sent != AVERROR(EAGAIN)) return;  // ended already
  while (sent == AVERROR(EAGAIN) && AVL.avcodec_receive_packet(enc, packet.get()) >= 0)
    AVL.av_packet_unref(packet.get());
  if (AVL.avcodec_send_frame(enc, nullptr) < 0) return;
  while (AVL.avcodec_receive_packet(enc, packet.get()) >= 0) AVL.av_packet_unref(packet.get());
}

void TOutputStream::CloseEncoder() {
  if (Encoder) Encoder->stats_in = nullptr;
  StatsIn.reset();
  if (!Encoder && !AmrNb) return;
  EndEncoderBeforeFree(Encoder.get());
  std::lock_guard<TCodecLock> lock(CodecLock());
  Encoder.reset();
  AmrNb.reset();
}

void TInputStream::CloseDecoder() {
  if (!Decoder) return;
  std::lock_guard<TCodecLock> lock(CodecLock());
  Decoder.reset();
}

void TCustomFFmpeg::CloseOpenEncoders() {
  if (!FRun) return;
  for (TOutputStream* ost : FRun->OpenEncoders)
    if (ost->EncodingNeeded) ost->CloseEncoder();
  FRun->OpenEncoders.clear();
}

void TCustomFFmpeg::CloseOpenDecoders() {
  if (!FRun) return;
  for (TInputStream* ist : FRun->OpenDecoders)
    if (ist->DecodingNeeded) ist->CloseDecoder();
  FRun->OpenDecoders.clear();
}

void TCustomFFmpeg::FreeTranscodeTables() {
  {
    std::lock_guard<std::mutex> lock(FWakeLock);
    FWakeStages = nullptr;
  }
  FRun.reset();
}

}  // namespace fennick
