// Video output: the working copy with deinterlacing, the frame-rate sync
// decision (drop/duplicate), crop as a view, scaling straight into the padded
// picture, padding with the pad colour, encoding with send/receive; subtitles.
#include <cmath>
#include <cstring>
#include <limits>

#include "engine/transcode_tables.h"

namespace fennick {

namespace {

uint32_t ReadLE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

uint64_t ReadLE64(const uint8_t* p) { return static_cast<uint64_t>(ReadLE32(p)) | static_cast<uint64_t>(ReadLE32(p + 4)) << 32; }

// Paints the bands around the inner picture: planar YUV gets the pad colour
// (Y, Cb, Cr; alpha opaque), any other layout black.
void FillPadBands(AVFrame* frame, const TOutputStream& ost, const TEngineSettings& s) {
  const AVPixFmtDescriptor* desc = AVL.av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
  if (!desc) return;
  const bool planarYuv = !(desc->flags & AV_PIX_FMT_FLAG_RGB) && (desc->flags & AV_PIX_FMT_FLAG_PLANAR) &&
                         desc->comp[0].depth == 8 && desc->comp[0].step == 1;
  const int planes = AVL.av_pix_fmt_count_planes(static_cast<AVPixelFormat>(frame->format));
  for (int p = 0; p < planes && p < 4; ++p) {
    int step = 1;
    int component = 0;
    for (int c = 0; c < desc->nb_components; ++c)
      if (desc->comp[c].plane == p) {
        step = desc->comp[c].step;
        component = c;
        break;
      }
    const bool chroma = !(desc->flags & AV_PIX_FMT_FLAG_RGB) && (component == 1 || component == 2);
    const int sw = chroma ? desc->log2_chroma_w : 0;
    const int sh = chroma ? desc->log2_chroma_h : 0;
    int value = 0;
    if (planarYuv) value = component == 0 ? s.PadColorY : component == 1 ? s.PadColorCb : component == 2 ? s.PadColorCr : 255;
    const int width = -((-frame->width) >> sw);
    const int height = -((-frame->height) >> sh);
    const int top = ost.PadTopBand >> sh, bottom = ost.PadBottomBand >> sh;
    const int left = (ost.PadLeftBand >> sw) * step, right = (ost.PadRightBand >> sw) * step;
    const int rowBytes = width * step;
    uint8_t* data = frame->data[p];
    const int linesize = frame->linesize[p];
    for (int y = 0; y < height; ++y) {
      uint8_t* row = data + static_cast<ptrdiff_t>(y) * linesize;
      if (y < top || y >= height - bottom) {
        std::memset(row, value, rowBytes);
      } else {
        if (left > 0) std::memset(row, value, left);
        if (right > 0) std::memset(row + rowBytes - right, value, right);
      }
    }
  }
}

}  // namespace

bool TPicturePool::Init(int width, int height, AVPixelFormat format) {
  if (Pool && Width == width && Height == height && Format == format) return true;
  Pool.reset();
  const int size = AVL.av_image_get_buffer_size(format, width, height, kAlign);
  if (size <= 0) return false;
  Pool.reset(AVL.av_buffer_pool_init(static_cast<size_t>(size) + kAlign, nullptr));
  if (!Pool) return false;
  Width = width;
  Height = height;
  Format = format;
  BufferSize = size;
  return true;
}

bool TPicturePool::Get(AVFrame* frame) {
  AVL.av_frame_unref(frame);
  if (!Pool) return false;
  AVBufferRef* buf = AVL.av_buffer_pool_get(Pool.get());
  if (!buf) return false;
  frame->buf[0] = buf;
  if (AVL.av_image_fill_arrays(frame->data, frame->linesize, buf->data, Format, Width, Height, kAlign) < 0) {
    AVL.av_frame_unref(frame);
    return false;
  }
  frame->width = Width;
  frame->height = Height;
  frame->format = Format;
  return true;
}

bool OffsetPicture(uint8_t* out[4], const int linesize[4], uint8_t* const data[4], AVPixelFormat format, int row,
                   int column) {
  const AVPixFmtDescriptor* desc = AVL.av_pix_fmt_desc_get(format);
  if (!desc || (desc->flags & (AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL)))
    return false;
  for (int p = 0; p < 4; ++p) {
    out[p] = nullptr;
    if (!data[p]) continue;
    int step = 0, component = -1;
    for (int c = 0; c < desc->nb_components; ++c)
      if (desc->comp[c].plane == p) {
        step = desc->comp[c].step;
        component = c;
        break;
      }
    if (component < 0) {
      out[p] = data[p];
      continue;
    }
    const bool chroma = !(desc->flags & AV_PIX_FMT_FLAG_RGB) && (component == 1 || component == 2);
    const int x = chroma ? column >> desc->log2_chroma_w : column;
    const int y = chroma ? row >> desc->log2_chroma_h : row;
    out[p] = data[p] + static_cast<ptrdiff_t>(y) * linesize[p] + static_cast<ptrdiff_t>(x) * step;
  }
  return true;
}

const char* ConfigureVideoGeometry(TOutputStream& ost, const TEngineSettings& s, int width, int height,
                                   AVPixelFormat format) {
  const AVCodecContext* enc = ost.Encoder;
  ost.InWidth = width;
  ost.InHeight = height;
  ost.InFormat = format;
  const int cropWidth = width - s.CropLeft - s.CropRight;
  const int cropHeight = height - s.CropTop - s.CropBottom;
  const int innerWidth = enc->width - s.PadLeft - s.PadRight;
  const int innerHeight = enc->height - s.PadTop - s.PadBottom;
  if (cropWidth <= 0 || cropHeight <= 0 || innerWidth <= 0 || innerHeight <= 0) return "Cannot get resampling context";
  ost.VideoCrop = s.CropTop + s.CropBottom + s.CropLeft + s.CropRight != 0;
  ost.VideoPad = s.PadTop + s.PadBottom + s.PadLeft + s.PadRight != 0;
  ost.VideoResample = enc->width != cropWidth + s.PadLeft + s.PadRight ||
                      enc->height != cropHeight + s.PadTop + s.PadBottom || enc->pix_fmt != format;
  if (ost.VideoCrop) {
    ost.CropTopBand = s.CropTop;
    ost.CropLeftBand = s.CropLeft;
  }
  if (ost.VideoPad) {
    ost.PadTopBand = s.PadTop;
    ost.PadBottomBand = s.PadBottom;
    ost.PadLeftBand = s.PadLeft;
    ost.PadRightBand = s.PadRight;
    if (!ost.VideoResample && !ost.TempPool.Init(enc->width, enc->height, enc->pix_fmt)) return "avpicture_alloc fail";
  }
  if (ost.VideoResample) {
    if (!ost.TempPool.Init(enc->width, enc->height, enc->pix_fmt)) return "Cannot allocate temp picture, check pix fmt";
    ost.ScaleContext.reset(AVL.sws_getCachedContext(ost.ScaleContext.release(), cropWidth, cropHeight, format,
                                                    innerWidth, innerHeight, enc->pix_fmt, s.SwsFlags, nullptr,
                                                    nullptr, nullptr));
    if (!ost.ScaleContext) return "Cannot get resampling context";
    ost.ResampleHeight = cropHeight;
  } else {
    ost.ScaleContext.reset();
  }
  return nullptr;
}

void TCustomFFmpeg::PreprocessVideoFrame(TInputStream& ist, AVFrame& picture) {
  TTranscodeRun& run = *FRun;
  const int64_t pts = ist.Pts;
  ++run.HookFrameNumber;

  // Whether the hook modules run on this picture.
  if (!OnCustomHook && FUsingVHook) {
    if (OnBeforeHook) {
      try {
        OnBeforeHook(*this, pts, run.HookAction);
      } catch (const std::exception& e) {
        Log(0, std::string("Error occurs OnBeforeHook: ") + e.what());
        run.HookAction = THookAction::haStop;
      }
      if (run.HookAction == THookAction::haStop) FUsingVHook = false;
    } else if (!FHookTimeRanges.empty()) {
      run.HookAction = THookAction::haIgnore;
      for (size_t i = FHookRangeIndex; i < FHookTimeRanges.size(); ++i) {
        const THookTimeRange& range = FHookTimeRanges[i];
        if (range.Start <= pts && pts <= range.End) {
          FHookRangeIndex = i;
          run.HookAction = THookAction::haContinue;
          break;
        }
        if (i + 1 == FHookTimeRanges.size() && range.End < pts) {
          run.HookAction = THookAction::haStop;
          FUsingVHook = false;
        }
      }
    }
  }
  const bool runModules = !OnCustomHook && FUsingVHook && run.HookAction == THookAction::haContinue;
  if (!S.DoDeinterlace && !runModules) return;

  // The working copy, deinterlaced when asked.
  const AVPixelFormat format = static_cast<AVPixelFormat>(picture.format);
  AVFrame* work = run.WorkFrame.get();
  if (!run.WorkPool.Init(picture.width, picture.height, format) || !run.WorkPool.Get(work)) {
    Log(0, "hook buf malloc error.");
    return;
  }
  bool deinterlaced = false;
  if (S.DoDeinterlace) {
    deinterlaced = DeinterlacePicture(work->data, work->linesize, picture.data, picture.linesize, format,
                                      picture.width, picture.height);
    if (!deinterlaced) Log(0, "deinterlace error.");
  }
  if (!deinterlaced && !runModules) {
    AVL.av_frame_unref(work);
    return;
  }
  // The decoder may still refer to its picture: modules work on a copy.
  if (!deinterlaced)
    AVL.av_image_copy(work->data, work->linesize, const_cast<const uint8_t**>(picture.data), picture.linesize, format,
                      picture.width, picture.height);
  AVFrame* target = work;
  if (runModules) {
    for (auto& module : FHookModules) {
      THookPicture hookPicture;
      for (int p = 0; p < 4; ++p) {
        hookPicture.Data[p] = target->data[p];
        hookPicture.LineSize[p] = target->linesize[p];
      }
      module->Process(hookPicture, format, picture.width, picture.height, pts);
    }
  }
  AVL.av_frame_copy_props(work, &picture);
  AVL.av_frame_unref(&picture);
  AVL.av_frame_move_ref(&picture, work);
}

AVFrame* TCustomFFmpeg::PrepareOutputPicture(TOutputStream& ost, AVFrame& picture) {
  const AVPixelFormat inFormat = static_cast<AVPixelFormat>(picture.format);
  if (picture.width != ost.InWidth || picture.height != ost.InHeight || inFormat != ost.InFormat) {
    // The decoded geometry differs from what the stream announced.
    if (const char* message = ConfigureVideoGeometry(ost, S, picture.width, picture.height, inFormat)) {
      Log(0, message);
      return nullptr;
    }
  }
  AVCodecContext* enc = ost.Encoder;
  uint8_t* source[4];
  if (ost.VideoCrop) {
    if (!OffsetPicture(source, picture.linesize, picture.data, inFormat, ost.CropTopBand, ost.CropLeftBand)) {
      Log(0, "error cropping picture");
      return nullptr;
    }
  } else {
    for (int p = 0; p < 4; ++p) source[p] = picture.data[p];
  }

  if (!ost.VideoResample && !ost.VideoPad) {
    if (!ost.VideoCrop) return &picture;
    // A view sharing the decoded picture's buffers.
    AVFrame* view = ost.CropView.get();
    AVL.av_frame_unref(view);
    if (AVL.av_frame_ref(view, &picture) < 0) {
      Log(0, "error cropping picture");
      return nullptr;
    }
    for (int p = 0; p < 4; ++p) view->data[p] = source[p];
    view->width = enc->width;
    view->height = enc->height;
    return view;
  }

  AVFrame* out = ost.TempPicture.get();
  if (!ost.TempPool.Get(out)) {
    Log(0, "error padding picture");
    return nullptr;
  }
  uint8_t* inner[4];
  if (ost.VideoPad) {
    if (!OffsetPicture(inner, out->linesize, out->data, enc->pix_fmt, ost.PadTopBand, ost.PadLeftBand)) {
      Log(0, "error padding picture");
      return nullptr;
    }
  } else {
    for (int p = 0; p < 4; ++p) inner[p] = out->data[p];
  }
  if (ost.VideoResample) {
    AVL.sws_scale(ost.ScaleContext.get(), source, picture.linesize, 0, ost.ResampleHeight, inner, out->linesize);
  } else {
    AVL.av_image_copy(inner, out->linesize, const_cast<const uint8_t**>(source), picture.linesize, enc->pix_fmt,
                      enc->width - ost.PadLeftBand - ost.PadRightBand, enc->height - ost.PadTopBand - ost.PadBottomBand);
  }
  if (ost.VideoPad) FillPadBands(out, ost, S);
  return out;
}

void TCustomFFmpeg::OutputVideo(AVFormatContext* file, TOutputStream& ost, TInputStream& ist, AVFrame& picture,
                                int& frameSize) {
  TTranscodeRun& run = *FRun;
  AVCodecContext* enc = ost.Encoder;
  frameSize = 0;
  if (ost.RecordingEnded) return;
  int64_t n = 1;

  const double tb = av_q2d(enc->time_base);
  const int method = S.VideoSyncMethod;
  const bool sync = method > 0 || (method == -1 && tb > 0.001);
  const double ipts = static_cast<double>(ost.SyncInput->Pts - S.StartTime) / 1000000.0;
  // The input's time as the picture's timestamp (sync off, or method 2).
  // Timestamps must grow: a picture that would land on the last emitted one
  // or before it (several input pictures per output frame) is dropped.
  const auto followInput = [&ost](double position) -> int64_t {
    const int64_t next = std::llround(position);
    if (ost.FrameNumber > 0 && next < ost.SyncCount) return 0;
    ost.SyncCount = next;
    return 1;
  };
  if (sync) {
    const double vdelta = ipts / tb - static_cast<double>(ost.SyncCount);
    if (vdelta < -1.1)
      n = 0;
    else if (method == 2)
      n = followInput(ipts / tb);
    else if (vdelta > 1.1)
      n = std::llround(vdelta);
  } else {
    n = followInput(ipts / tb);
  }
  if (n == 0) {
    ++run.DropFrames;
    if (S.Verbose > 2) Log(1, "*** drop!");
  } else if (n > 1) {
    run.DupFrames += static_cast<int>(n);
    if (S.Verbose > 2) Log(1, FormatText("*** %d dup!", static_cast<int>(n - 1)));
  }

  n = std::min<int64_t>(n, static_cast<int64_t>(S.MaxFrames[0]) - ost.FrameNumber);
  // Only pictures that start before the recording time ("t").
  int64_t end = std::numeric_limits<int64_t>::max();
  if (S.RecordingTime != std::numeric_limits<int64_t>::max()) {
    end = AVL.av_rescale_q_rnd(S.RecordingTime, AVRational{1, 1000000}, enc->time_base, AV_ROUND_UP);
    if (ost.SyncCount >= end) {
      ost.RecordingEnded = true;
      return;
    }
    n = std::min(n, end - ost.SyncCount);
  }
  if (n <= 0) return;

  AVFrame* final = PrepareOutputPicture(ost, picture);
  if (!final) return;

  AVFrame* f = ost.EncodeFrame.get();
  AVL.av_frame_unref(f);
  if (AVL.av_frame_ref(f, final) < 0) throw FFMpegException("Video encoding failed");
  f->interlaced_frame = picture.interlaced_frame;
  if (enc->flags & (AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME))
    f->top_field_first = S.TopFieldFirst == -1 ? picture.top_field_first : S.TopFieldFirst;
  // The input's quality where its decoder reports one.
  f->quality = static_cast<int>(std::lround(S.SameQuality && ist.Quality > 0 ? ist.Quality : ost.Quality));
  if (S.MeThreshold == 0) f->pict_type = AV_PICTURE_TYPE_NONE;
  f->sample_aspect_ratio = enc->sample_aspect_ratio;

  for (int64_t i = 0; i < n; ++i) {
    if (i > 0) {
      if (FStopRequested) break;
      WaitIfPaused();
      if (FStopRequested) break;
    }
    f->pts = ost.SyncCount;
    const int size = EncodeVideoFrame(file, ost, f);
    frameSize = size;
    ++ost.SyncCount;
    ++ost.FrameNumber;
  }
  AVL.av_frame_unref(f);
  if (ost.SyncCount >= end) ost.RecordingEnded = true;
}

int TCustomFFmpeg::EncodeVideoFrame(AVFormatContext* file, TOutputStream& ost, AVFrame* frame) {
  TTranscodeRun& run = *FRun;
  AVCodecContext* enc = ost.Encoder;
  int ret = AVL.avcodec_send_frame(enc, frame);
  if (ret < 0 && ret != AVERROR_EOF) throw FFMpegException("Video encoding failed");
  AVPacket* pkt = ost.Packet.get();
  int total = 0;
  for (;;) {
    ret = AVL.avcodec_receive_packet(enc, pkt);
    if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) break;
    if (ret < 0) throw FFMpegException("Video encoding failed");
    size_t sideSize = 0;
    const uint8_t* stats = AVL.av_packet_get_side_data(pkt, AV_PKT_DATA_QUALITY_STATS, &sideSize);
    if (stats && sideSize >= 5) {
      ost.LastQuality = static_cast<int>(ReadLE32(stats));
      ost.LastPictType = stats[4];
      const int errors = sideSize >= 6 ? stats[5] : 0;
      for (int e = 0; e < errors && e < 4 && sideSize >= static_cast<size_t>(8 + 8 * (e + 1)); ++e)
        ost.LastError[e] = ReadLE64(stats + 8 + 8 * e);
    }
    if (pkt->duration == 0) pkt->duration = 1;
    pkt->stream_index = ost.StreamIndex;
    total += pkt->size;
    run.VideoBytes += pkt->size;
    WriteFrame(file, pkt, enc);
    AVL.av_packet_unref(pkt);
    if (ost.PassLogFile && enc->stats_out) std::fprintf(ost.PassLogFile.get(), "%s", enc->stats_out);
  }
  return total;
}

void TCustomFFmpeg::FlushVideo(AVFormatContext* file, TOutputStream& ost) { EncodeVideoFrame(file, ost, nullptr); }

void TCustomFFmpeg::OutputSubtitle(AVFormatContext* file, TOutputStream& ost, TInputStream& ist, AVSubtitle& subtitle,
                                   int64_t pts) {
  TTranscodeRun& run = *FRun;
  if (pts == AV_NOPTS_VALUE) {
    Log(0, "Subtitle packets must have a pts");
    return;
  }
  constexpr AVRational kMilliseconds{1, 1000}, kMicroseconds{1, 1000000};
  // The cue on the output's time line: it starts at `start` (µs) and shows
  // for `shown` ms; the encoder gets it in that form (display times counted
  // from the cue's own start), the packet carries start and duration.
  const int64_t start = AVL.av_rescale_q(pts, ist.Stream->time_base, kMicroseconds) +
                        AVL.av_rescale_q(subtitle.start_display_time, kMilliseconds, kMicroseconds) - S.StartTime;
  if (start >= S.RecordingTime) {
    ost.RecordingEnded = true;
    return;
  }
  const uint32_t shown = subtitle.end_display_time > subtitle.start_display_time
                             ? subtitle.end_display_time - subtitle.start_display_time
                             : 0;
  constexpr int kSubtitleBufferSize = 65536;
  if (!run.SubtitleOutBuffer) {
    run.SubtitleOutBuffer.reset(static_cast<uint8_t*>(AVL.av_malloc(kSubtitleBufferSize)));
    if (!run.SubtitleOutBuffer) return;
  }
  AVCodecContext* enc = ost.Encoder;
  const bool dvb = enc->codec_id == AV_CODEC_ID_DVB_SUBTITLE;
  const int count = dvb ? 2 : 1;
  // The record is the caller's and may feed further outputs: restored below.
  const AVSubtitle original = subtitle;
  const auto restore = [&] {
    subtitle.num_rects = original.num_rects;
    subtitle.pts = original.pts;
    subtitle.start_display_time = original.start_display_time;
    subtitle.end_display_time = original.end_display_time;
  };
  subtitle.pts = start;
  subtitle.start_display_time = 0;
  subtitle.end_display_time = shown;
  const AVRational tb = ost.Stream->time_base;
  for (int i = 0; i < count; ++i) {
    if (i == 1) subtitle.num_rects = 0;  // the second DVB packet clears the display
    const int size = AVL.avcodec_encode_subtitle(enc, run.SubtitleOutBuffer.get(), kSubtitleBufferSize, &subtitle);
    if (size < 0) {
      restore();
      Log(0, "Subtitle encoding failed");
      return;
    }
    AVPacket* pkt = ost.Packet.get();
    if (AVL.av_new_packet(pkt, size) < 0) {
      restore();
      return;
    }
    std::memcpy(pkt->data, run.SubtitleOutBuffer.get(), static_cast<size_t>(size));
    pkt->stream_index = ost.StreamIndex;
    pkt->pts = AVL.av_rescale_q(start, kMicroseconds, tb);
    pkt->duration = AVL.av_rescale_q(shown, kMilliseconds, tb);
    if (dvb && i == 1) pkt->pts += pkt->duration;
    pkt->dts = pkt->pts;
    try {
      WriteFrame(file, pkt, nullptr);
    } catch (...) {
      restore();
      AVL.av_packet_unref(pkt);
      throw;
    }
    AVL.av_packet_unref(pkt);
  }
  restore();
}

}  // namespace fennick
