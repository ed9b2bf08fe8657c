// The media probe: open, count streams, describe the container and a video
// stream. Messages go to the libraries' log, where the component's log
// routing picks them up.
#include "component/AVProbe.h"

#include <cctype>
#include <limits>

#include "codec_library/codec_library.h"
#include "codec_library/media_files.h"
#include "component/task_options.h"
#include "engine/av_ptr.h"
#include "engine/input_io.h"

namespace fennick {

namespace {

int32_t ClampToInt32(int64_t value) {
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

std::string Tag(const AVDictionary* metadata, const char* key) {
  const AVDictionaryEntry* entry = AVL.av_dict_get(metadata, key, nullptr, 0);
  return entry && entry->value ? entry->value : "";
}

std::string FirstTag(const AVDictionary* metadata, const char* key, const char* alternative) {
  std::string value = Tag(metadata, key);
  return value.empty() ? Tag(metadata, alternative) : value;
}

// The leading decimal number of a tag ("2009-05-01" gives 2009, "3/12"
// gives 3); -1 when the text does not start with a digit.
int32_t LeadingNumber(const std::string& text, size_t maxDigits) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  int64_t value = 0;
  size_t digits = 0;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && digits < maxDigits) {
    value = value * 10 + (text[i] - '0');
    ++i;
    ++digits;
  }
  return digits ? static_cast<int32_t>(value) : -1;
}

}  // namespace

void TAVProbe::TInputDeleter::operator()(AVFormatContext* context) const { InputFormatContextDeleter()(context); }

int TAVProbe::Interrupted(void* probe) { return static_cast<const TAVProbe*>(probe)->FStopRequested ? 1 : 0; }

bool TAVProbe::LoadFile(const std::string& fileName, const std::string& formatName) {
  if (!LibraryBound(TCodecLibrary::Codec)) throw EProbeError("LibAVCodec not loaded.");
  if (!LibraryBound(TCodecLibrary::Container)) throw EProbeError("LibAVFormat not loaded.");
  if (!LibraryBound(TCodecLibrary::Utility)) throw EProbeError("LibAVUtil not loaded.");
  if (!LibraryBound(TCodecLibrary::Scaler)) throw EProbeError("LibSwScale not loaded.");

  CloseFile();

  const AVInputFormat* format = nullptr;
  if (!formatName.empty()) {
    format = AVL.av_find_input_format(formatName.c_str());
    if (!format) {
      FLastError = "Unknown input format: " + formatName;
      return false;
    }
  }

  if (FStopRequested) {
    FLastError = OpenErrorText(AVERROR_EXIT, fileName);
    return false;
  }

  // Opened as the engine opens its inputs (a local source through the
  // engine's byte stream, whose waits for data ask the interrupt callback).
  AVFormatContext* raw = AVL.avformat_alloc_context();  // owned by OpenInput until it succeeds
  if (!raw) {
    FLastError = OpenErrorText(AVERROR(ENOMEM), fileName);
    return false;
  }
  raw->interrupt_callback.callback = &TAVProbe::Interrupted;
  raw->interrupt_callback.opaque = this;
  const int opened = OpenInput(&raw, fileName, format, nullptr);
  if (opened < 0) {
    FLastError = OpenErrorText(FStopRequested ? AVERROR_EXIT : opened, fileName);
    CloseFile();
    return false;
  }
  FContext.reset(raw);

  if (AVL.avformat_find_stream_info(FContext.get(), nullptr) < 0 || FStopRequested) {
    FLastError = FStopRequested ? OpenErrorText(AVERROR_EXIT, fileName) : fileName + ": could not find codec parameters";
    CloseFile();
    return false;
  }

  // Pictures attached to the file (cover art) are no streams of the media:
  // a song with a cover is described as the same song without it.
  FStreamCount = 0;
  FProgramCount = static_cast<int>(FContext->nb_programs);
  FAudioStreamCount = FVideoStreamCount = FSubtitleStreamCount = 0;
  for (int i = 0; i < static_cast<int>(FContext->nb_streams); ++i) {
    if (IsAttachedPicture(FContext->streams[i])) continue;
    ++FStreamCount;
    switch (FContext->streams[i]->codecpar->codec_type) {
      case AVMEDIA_TYPE_VIDEO:
        if (FVideoStreamCount++ == 0) FFirstVideoStreamIndex = i;
        break;
      case AVMEDIA_TYPE_AUDIO:
        if (FAudioStreamCount++ == 0) FFirstAudioStreamIndex = i;
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        if (FSubtitleStreamCount++ == 0) FFirstSubtitleStreamIndex = i;
        break;
      default:
        break;
    }
  }
  FFormatName = formatName;
  return true;
}

void TAVProbe::CloseFile() {
  FContext.reset();
  FStreamCount = FProgramCount = FAudioStreamCount = FVideoStreamCount = FSubtitleStreamCount = -1;
  FFirstAudioStreamIndex = FFirstVideoStreamIndex = FFirstSubtitleStreamIndex = -1;
}

void TAVProbe::GetFileInfo(TProbeFileInfo& info) const {
  info = TProbeFileInfo{};
  if (!FContext) {
    AVL.av_log(nullptr, AV_LOG_INFO, "file not loaded.\n");
    return;
  }
  const AVFormatContext& ctx = *FContext;
  info.StartTime = ctx.start_time;
  info.Duration = ctx.duration;
  info.BitRate = ClampToInt32(ctx.bit_rate);
  const std::string created = Tag(ctx.metadata, "creation_time");
  int64_t createdMicroseconds = 0;
  if (!created.empty() && AVL.av_parse_time(&createdMicroseconds, created.c_str(), 0) >= 0)
    info.Timestamp = createdMicroseconds / 1000000;
  SetFixedText(info.Title, Tag(ctx.metadata, "title"));
  SetFixedText(info.Author, FirstTag(ctx.metadata, "artist", "author"));
  SetFixedText(info.RightsText, Tag(ctx.metadata, "copyright"));
  SetFixedText(info.Comment, Tag(ctx.metadata, "comment"));
  SetFixedText(info.Album, Tag(ctx.metadata, "album"));
  info.Year = LeadingNumber(FirstTag(ctx.metadata, "date", "year"), 4);
  info.Track = LeadingNumber(Tag(ctx.metadata, "track"), 9);
  SetFixedText(info.Genre, Tag(ctx.metadata, "genre"));
}

void TAVProbe::GetStreamVideoInfo(int streamIndex, TProbeVideoInfo& info) const {
  info = TProbeVideoInfo{};
  if (!FContext) {
    AVL.av_log(nullptr, AV_LOG_INFO, "file not loaded.\n");
    return;
  }
  if (streamIndex == -1) {
    if (FFirstVideoStreamIndex < 0) {
      AVL.av_log(nullptr, AV_LOG_ERROR, "no video stream.\n");
      return;
    }
    streamIndex = FFirstVideoStreamIndex;
  } else if (streamIndex < 0 || streamIndex >= static_cast<int>(FContext->nb_streams)) {
    AVL.av_log(nullptr, AV_LOG_ERROR, "stream index #%d is invalid.\n", streamIndex);
    return;
  }
  const AVStream* stream = FContext->streams[streamIndex];
  if (stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO || IsAttachedPicture(stream)) {
    AVL.av_log(nullptr, AV_LOG_ERROR, "stream #%d is not video stream.\n", streamIndex);
    return;
  }
  DescribeVideoStream(*stream, info);
}

void DescribeVideoStream(const AVStream& videoStream, TProbeVideoInfo& info) {
  info = TProbeVideoInfo{};
  const AVStream* stream = &videoStream;
  const AVCodecParameters* par = stream->codecpar;
  SetFixedText(info.Language, Tag(stream->metadata, "language"));
  SetFixedText(info.CodecName, AVL.avcodec_get_name(par->codec_id));
  const AVRational microseconds{1, AV_TIME_BASE};
  info.StartTime = stream->start_time;
  if (stream->start_time != AV_NOPTS_VALUE)
    info.StartTimeMicroseconds = AVL.av_rescale_q(stream->start_time, stream->time_base, microseconds);
  info.Duration = stream->duration;
  if (stream->duration != AV_NOPTS_VALUE)
    info.DurationMicroseconds = AVL.av_rescale_q(stream->duration, stream->time_base, microseconds);
  info.BitRate = ClampToInt32(par->bit_rate);
  info.Height = par->height;
  info.Width = par->width;
  if (par->width > 0 && par->height > 0) {
    // The codec's pixel aspect, else the container's; unknown counts as square pixels.
    AVRational sar = par->sample_aspect_ratio;
    if (sar.num <= 0 || sar.den <= 0) sar = stream->sample_aspect_ratio;
    if (sar.num <= 0 || sar.den <= 0) sar = AVRational{1, 1};
    info.DisplayAspect = static_cast<float>(par->width * av_q2d(sar) / par->height);
  }
  info.PixelFormat = par->format;
  info.FrameRateNum = stream->r_frame_rate.num;
  info.FrameRateDen = stream->r_frame_rate.den;
}

TProbeStreamList TAVProbe::Streams() const { return FContext ? DescribeStreams(*FContext) : TProbeStreamList{}; }

TProbeStreamList DescribeStreams(const AVFormatContext& input) {
  TProbeStreamList list;
  for (unsigned i = 0; i < input.nb_streams; ++i) {
    const AVStream* stream = input.streams[i];
    const AVCodecParameters* par = stream->codecpar;
    if (par->codec_type != AVMEDIA_TYPE_AUDIO && par->codec_type != AVMEDIA_TYPE_SUBTITLE) continue;
    TProbeStreamInfo info;
    info.Index = static_cast<int32_t>(i);
    info.Language = Tag(stream->metadata, "language");
    info.CodecName = AVL.avcodec_get_name(par->codec_id);
    info.Title = Tag(stream->metadata, "title");
    info.Default = (stream->disposition & AV_DISPOSITION_DEFAULT) != 0;
    if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
      info.Channels = par->ch_layout.nb_channels;
      info.SampleRate = par->sample_rate;
      list.Audio.push_back(std::move(info));
    } else {
      const AVCodecDescriptor* kind = AVL.avcodec_descriptor_get(par->codec_id);
      info.Bitmap = kind && (kind->props & AV_CODEC_PROP_BITMAP_SUB);
      list.Subtitles.push_back(std::move(info));
    }
  }
  return list;
}

}  // namespace fennick
