// Video output: the working copy with deinterlacing, the frame-rate sync
// decision (drop/duplicate), crop as a view, scaling straight into the padded
// picture, padding with the pad colour in every layout, encoding with
// send/receive; subtitles.
#include <algorithm>
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

// Where a view of a picture of `format` starting at (row, column) begins in
// each plane: the line (in the plane's own lines) and the byte within it.
// False where no view can start there: hardware pictures, a position inside
// a chroma block, a bit position off a byte (bit-packed layouts), or
// components of one plane that disagree (packed blocks such as uyyvyy411).
// A palette plane carries no component and stays as it is.
bool PlaneOffsets(AVPixelFormat format, int row, int column, int lines[4], int64_t bytes[4]) {
  const AVPixFmtDescriptor* desc = AVL.av_pix_fmt_desc_get(format);
  if (!desc || (desc->flags & AV_PIX_FMT_FLAG_HWACCEL)) return false;
  bool seen[4] = {};
  for (int p = 0; p < 4; ++p) {
    lines[p] = 0;
    bytes[p] = 0;
  }
  const int bitsPerStep = (desc->flags & AV_PIX_FMT_FLAG_BITSTREAM) ? 1 : 8;
  bool viewable = true;
  ForEachComponent(*desc, [&](const AVComponentDescriptor& comp, int hs, int vs) {
    const int64_t bits = static_cast<int64_t>(column >> hs) * comp.step * bitsPerStep;
    if ((column & ((1 << hs) - 1)) != 0 || (row & ((1 << vs) - 1)) != 0 || bits % 8 != 0) {
      viewable = false;
    } else if (seen[comp.plane]) {
      viewable = viewable && bytes[comp.plane] == bits / 8 && lines[comp.plane] == row >> vs;
    } else {
      seen[comp.plane] = true;
      bytes[comp.plane] = bits / 8;
      lines[comp.plane] = row >> vs;
    }
  });
  return viewable;
}

bool CanOffsetPicture(AVPixelFormat format, int row, int column) {
  int lines[4];
  int64_t bytes[4];
  return PlaneOffsets(format, row, column, lines, bytes);
}

// A layout of the same kind in which any crop or pad position is a view:
// pictures whose own layout allows none there are converted to it first.
AVPixelFormat ViewableFormat(AVPixelFormat format) {
  const AVPixFmtDescriptor* desc = AVL.av_pix_fmt_desc_get(format);
  if (!desc) return AV_PIX_FMT_YUV444P;
  const bool alpha = desc->flags & AV_PIX_FMT_FLAG_ALPHA;
  if (desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) return alpha ? AV_PIX_FMT_RGBA : AV_PIX_FMT_RGB24;
  if (desc->nb_components <= 2) return alpha ? AV_PIX_FMT_YA8 : AV_PIX_FMT_GRAY8;
  return alpha ? AV_PIX_FMT_YUVA444P : AV_PIX_FMT_YUV444P;
}

// Whether the edges of the inner area (the first inner line and column, the
// first line and column after it where a band follows) are view positions
// of the layout.
bool PadEdgesAreViewable(AVPixelFormat format, int width, int height, int top, int bottom, int left, int right) {
  return CanOffsetPicture(format, top, left) && (bottom == 0 || CanOffsetPicture(format, height - bottom, 0)) &&
         (right == 0 || CanOffsetPicture(format, 0, width - right));
}

// Copies the bands around the inner area (top, bottom, left, right) from
// `background` into `frame` of the same geometry and layout, whose pad edges
// are view positions.
bool CopyPadBands(AVFrame* frame, const AVFrame* background, const TOutputStream& ost) {
  const AVPixelFormat format = static_cast<AVPixelFormat>(frame->format);
  const AVPixFmtDescriptor* desc = AVL.av_pix_fmt_desc_get(format);
  int rowBytes[4], innerTop[4], innerBottom[4], unusedLines[4];
  int64_t innerLeft[4], innerRight[4], unusedBytes[4];
  if (!desc || AVL.av_image_fill_linesizes(rowBytes, format, frame->width) < 0 ||
      !PlaneOffsets(format, ost.PadTopBand, ost.PadLeftBand, innerTop, innerLeft))
    return false;
  if (ost.PadBottomBand > 0 &&
      !PlaneOffsets(format, frame->height - ost.PadBottomBand, 0, innerBottom, unusedBytes))
    return false;
  if (ost.PadRightBand > 0 && !PlaneOffsets(format, 0, frame->width - ost.PadRightBand, unusedLines, innerRight))
    return false;
  int planeLines[4] = {-1, -1, -1, -1};  // line counts of the planes that carry components
  ForEachComponent(*desc, [&](const AVComponentDescriptor& comp, int, int vs) {
    planeLines[comp.plane] = -((-frame->height) >> vs);
  });
  for (int p = 0; p < 4; ++p) {
    const int lines = planeLines[p];
    if (lines < 0 || !frame->data[p]) continue;
    if (ost.PadBottomBand == 0) innerBottom[p] = lines;
    if (ost.PadRightBand == 0) innerRight[p] = rowBytes[p];
    for (int y = 0; y < lines; ++y) {
      uint8_t* row = frame->data[p] + static_cast<ptrdiff_t>(y) * frame->linesize[p];
      const uint8_t* fill = background->data[p] + static_cast<ptrdiff_t>(y) * background->linesize[p];
      if (y < innerTop[p] || y >= innerBottom[p]) {
        std::memcpy(row, fill, static_cast<size_t>(rowBytes[p]));
      } else {
        std::memcpy(row, fill, static_cast<size_t>(innerLeft[p]));
        std::memcpy(row + innerRight[p], fill + innerRight[p], static_cast<size_t>(rowBytes[p] - innerRight[p]));
      }
    }
  }
  return true;
}

// A whole picture of the pad colour in `format`: the colour is given as
// Y, Cb, Cr and converted by the scaler like any picture, so every layout
// (packed, semi-planar, RGB, deeper samples, alpha opaque) shows the same
// colour as planar YUV does.
FramePtr MakePadBackground(int width, int height, AVPixelFormat format, const TEngineSettings& s) {
  FramePtr yuv(AVL.av_frame_alloc()), out(AVL.av_frame_alloc());
  if (!yuv || !out) return nullptr;
  yuv->format = AV_PIX_FMT_YUV444P;
  yuv->width = width;
  yuv->height = height;
  out->format = format;
  out->width = width;
  out->height = height;
  if (AVL.av_frame_get_buffer(yuv.get(), 0) < 0 || AVL.av_frame_get_buffer(out.get(), 0) < 0) return nullptr;
  const int values[3] = {s.PadColorY, s.PadColorCb, s.PadColorCr};
  for (int p = 0; p < 3; ++p)
    for (int y = 0; y < height; ++y)
      std::memset(yuv->data[p] + static_cast<ptrdiff_t>(y) * yuv->linesize[p], values[p], static_cast<size_t>(width));
  SwsContextPtr convert(AVL.sws_getContext(width, height, AV_PIX_FMT_YUV444P, width, height, format, SWS_POINT,
                                           nullptr, nullptr, nullptr));
  if (!convert) return nullptr;
  AVL.sws_scale(convert.get(), yuv->data, yuv->linesize, 0, height, out->data, out->linesize);
  return out;
}

}  // namespace

bool TPicturePool::Init(int width, int height, AVPixelFormat format) {
  if (Pool && Width == width && Height == height && Format == format) return true;
  Pool.reset();
  const int size = AVL.av_image_get_buffer_size(format, width, height + kSpareLines, kAlign);
  if (size <= 0) return false;
  Pool.reset(AVL.av_buffer_pool_init(static_cast<size_t>(size) + kAlign, nullptr));
  if (!Pool) return false;
  Width = width;
  Height = height;
  Format = format;
  return true;
}

bool TPicturePool::Get(AVFrame* frame) {
  AVL.av_frame_unref(frame);
  if (!Pool) return false;
  AVBufferRef* buf = AVL.av_buffer_pool_get(Pool.get());
  if (!buf) return false;
  frame->buf[0] = buf;
  if (AVL.av_image_fill_arrays(frame->data, frame->linesize, buf->data, Format, Width, Height + kSpareLines, kAlign) <
      0) {
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
  int lines[4];
  int64_t bytes[4];
  if (!PlaneOffsets(format, row, column, lines, bytes)) return false;
  for (int p = 0; p < 4; ++p)
    out[p] = data[p] ? data[p] + static_cast<ptrdiff_t>(lines[p]) * linesize[p] + bytes[p] : nullptr;
  return true;
}

const char* ConfigureVideoGeometry(TOutputStream& ost, const TEngineSettings& s, int width, int height,
                                   AVPixelFormat format) {
  const AVCodecContext* enc = ost.Encoder.get();
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

  // Padding is drawn in the encoder's layout when the inner area can be a
  // view of it, else composed in a viewable layout and converted after.
  AVPixelFormat padFormat = ost.PictureFormat();
  ost.PadConvert.reset();
  ost.PadBackground.reset();
  if (ost.VideoPad) {
    ost.PadTopBand = s.PadTop;
    ost.PadBottomBand = s.PadBottom;
    ost.PadLeftBand = s.PadLeft;
    ost.PadRightBand = s.PadRight;
    if (!PadEdgesAreViewable(ost.PictureFormat(), enc->width, enc->height, s.PadTop, s.PadBottom, s.PadLeft, s.PadRight)) {
      padFormat = ViewableFormat(ost.PictureFormat());
      ost.PadConvert.reset(AVL.sws_getContext(enc->width, enc->height, padFormat, enc->width, enc->height,
                                              ost.PictureFormat(), s.SwsFlags, nullptr, nullptr, nullptr));
      if (!ost.PadConvert) return "Cannot get resampling context";
      if (!ost.ComposePicture) ost.ComposePicture.reset(AVL.av_frame_alloc());
      if (!ost.ComposePicture || !ost.ComposePool.Init(enc->width, enc->height, padFormat))
        return "avpicture_alloc fail";
    }
    ost.PadBackground = MakePadBackground(enc->width, enc->height, padFormat, s);
    if (!ost.PadBackground) return "avpicture_alloc fail";
  }

  // Cropping is a view of the decoded picture when its layout allows one at
  // the crop position, else of the picture converted first.
  AVPixelFormat cropFormat = format;
  ost.CropConvert.reset();
  if (ost.VideoCrop) {
    ost.CropTopBand = s.CropTop;
    ost.CropLeftBand = s.CropLeft;
    if (!CanOffsetPicture(format, s.CropTop, s.CropLeft)) {
      cropFormat = CanOffsetPicture(padFormat, s.CropTop, s.CropLeft) ? padFormat : ViewableFormat(format);
      ost.CropConvert.reset(AVL.sws_getContext(width, height, format, width, height, cropFormat, s.SwsFlags, nullptr,
                                               nullptr, nullptr));
      if (!ost.CropConvert) return "Cannot get resampling context";
      if (!ost.CropPicture) ost.CropPicture.reset(AVL.av_frame_alloc());
      if (!ost.CropPicture || !ost.CropPool.Init(width, height, cropFormat)) return "avpicture_alloc fail";
    }
  }

  ost.VideoResample = enc->width != cropWidth + s.PadLeft + s.PadRight ||
                      enc->height != cropHeight + s.PadTop + s.PadBottom || padFormat != cropFormat;
  if (ost.VideoPad && !ost.VideoResample && !ost.TempPool.Init(enc->width, enc->height, ost.PictureFormat()))
    return "avpicture_alloc fail";
  if (ost.VideoResample) {
    if (!ost.TempPool.Init(enc->width, enc->height, ost.PictureFormat())) return "Cannot allocate temp picture, check pix fmt";
    ost.ScaleContext.reset(AVL.sws_getCachedContext(ost.ScaleContext.release(), cropWidth, cropHeight, cropFormat,
                                                    innerWidth, innerHeight, padFormat, s.SwsFlags, nullptr,
                                                    nullptr, nullptr));
    if (!ost.ScaleContext) return "Cannot get resampling context";
    ost.ResampleHeight = cropHeight;
  } else {
    ost.ScaleContext.reset();
  }
  return nullptr;
}

void TCustomFFmpeg::PreprocessVideoFrame(int64_t pts, AVFrame& picture) {
  TTranscodeRun& run = *FRun;
  ++FHookFrameNumber;

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
  const bool customHook = static_cast<bool>(OnCustomHook);
  const bool runModules = !customHook && FUsingVHook && run.HookAction == THookAction::haContinue;
  if (!S.DoDeinterlace && !customHook && !runModules) return;

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
  if (!deinterlaced && !customHook && !runModules) {
    AVL.av_frame_unref(work);
    return;
  }
  // The decoder may still refer to its picture: the hooks work on a copy.
  if (!deinterlaced)
    AVL.av_image_copy(work->data, work->linesize, const_cast<const uint8_t**>(picture.data), picture.linesize, format,
                      picture.width, picture.height);
  work->format = format;
  work->width = picture.width;
  work->height = picture.height;
  if (customHook) {
    if (!RunCustomHook(*work, pts)) {
      // Detached for the rest of the run; the modules stay off as well.
      OnCustomHook = nullptr;
      run.HookAction = THookAction::haStop;
      FUsingVHook = false;
    }
  } else if (runModules) {
    for (auto& module : FHookModules) {
      THookPicture hookPicture;
      for (int p = 0; p < 4; ++p) {
        hookPicture.Data[p] = work->data[p];
        hookPicture.LineSize[p] = work->linesize[p];
      }
      module->Process(hookPicture, format, picture.width, picture.height, pts);
    }
  }
  AVL.av_frame_copy_props(work, &picture);
  AVL.av_frame_unref(&picture);
  AVL.av_frame_move_ref(&picture, work);
}

bool TCustomFFmpeg::RunCustomHook(AVFrame& work, int64_t pts) {
  const AVPixelFormat format = static_cast<AVPixelFormat>(work.format);
  const int width = work.width, height = work.height;
  const int pixelBytes = AVL.av_pix_fmt_desc_get(FHookPixelFormat)->comp[0].step;
  if (!FHookBitmap) FHookBitmap = std::make_unique<TBitmap>();
  TBitmap& bitmap = *FHookBitmap;
  // Made on first use; a stream whose pictures change size gets a bitmap of
  // the new size rather than rows cut short or written past the end.
  if (bitmap.Width() != width || bitmap.Height() != height || bitmap.BytesPerPixel() != pixelBytes)
    bitmap.SetSize(width, height, pixelBytes);

  // The picture in the bitmap's layout: the working picture itself when it
  // already has it, else a conversion into the RGB buffer.
  uint8_t* rgbData[4] = {work.data[0], work.data[1], work.data[2], work.data[3]};
  int rgbLineSize[4] = {work.linesize[0], work.linesize[1], work.linesize[2], work.linesize[3]};
  const bool convert = format != FHookPixelFormat;
  if (convert) {
    const int size = AVL.av_image_get_buffer_size(FHookPixelFormat, width, height, 1);
    if (size <= 0) {
      Log(0, "Cannot initialize the toRGB conversion context");
      return false;
    }
    if (size > FHookRGBBufferSize) {
      // Room beyond the last row for scalers that write whole vectors.
      FHookRGBBuffer.reset(static_cast<uint8_t*>(AVL.av_malloc(size + AV_INPUT_BUFFER_PADDING_SIZE)));
      FHookRGBBufferSize = FHookRGBBuffer ? size : 0;
      if (!FHookRGBBuffer) {
        Log(0, "hook buf malloc error.");
        return true;  // this picture goes on untouched; the next one tries again
      }
    }
    AVL.av_image_fill_arrays(rgbData, rgbLineSize, FHookRGBBuffer.get(), FHookPixelFormat, width, height, 1);
    FToRGB.reset(AVL.sws_getCachedContext(FToRGB.release(), width, height, format, width, height, FHookPixelFormat,
                                          SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!FToRGB) {
      Log(0, "Cannot initialize the toRGB conversion context");
      return false;
    }
    AVL.sws_scale(FToRGB.get(), work.data, work.linesize, 0, height, rgbData, rgbLineSize);
  }

  const size_t rowBytes = static_cast<size_t>(std::min(rgbLineSize[0], bitmap.Stride()));
  bool update = true, stop = false;
  std::string failure;
  {
    std::lock_guard<TBitmap> canvas(bitmap);
    for (int y = 0; y < height; ++y)
      std::memcpy(bitmap.ScanLine(y), rgbData[0] + static_cast<ptrdiff_t>(y) * rgbLineSize[0], rowBytes);
    try {
      OnCustomHook(*this, bitmap, FHookFrameNumber, pts, update, stop);
    } catch (const std::exception& e) {
      failure = e.what();
      update = false;
    } catch (...) {
      failure = "unknown exception";
      update = false;
    }
    if (update)
      for (int y = 0; y < height; ++y)
        std::memcpy(rgbData[0] + static_cast<ptrdiff_t>(y) * rgbLineSize[0], bitmap.ScanLine(y), rowBytes);
  }
  if (!update) {
    if (!failure.empty()) Log(0, "Error occurs OnCustomHook: " + failure);
    return !stop;
  }
  if (convert) {
    FFromRGB.reset(AVL.sws_getCachedContext(FFromRGB.release(), width, height, FHookPixelFormat, width, height,
                                            format, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!FFromRGB) {
      Log(0, "Cannot initialize the fromRGB conversion context");
      return false;
    }
    AVL.sws_scale(FFromRGB.get(), rgbData, rgbLineSize, 0, height, work.data, work.linesize);
  }
  return !stop;
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
  AVCodecContext* enc = ost.Encoder.get();
  AVFrame* src = &picture;
  if (ost.CropConvert) {
    // A layout that cannot be cropped as a view is converted whole first.
    AVFrame* converted = ost.CropPicture.get();
    if (!ost.CropPool.Get(converted)) {
      Log(0, "error cropping picture");
      return nullptr;
    }
    AVL.sws_scale(ost.CropConvert.get(), picture.data, picture.linesize, 0, picture.height, converted->data,
                  converted->linesize);
    src = converted;
  }
  const AVPixelFormat srcFormat = static_cast<AVPixelFormat>(src->format);
  uint8_t* source[4];
  if (ost.VideoCrop) {
    if (!OffsetPicture(source, src->linesize, src->data, srcFormat, ost.CropTopBand, ost.CropLeftBand)) {
      Log(0, "error cropping picture");
      return nullptr;
    }
  } else {
    for (int p = 0; p < 4; ++p) source[p] = src->data[p];
  }

  if (!ost.VideoResample && !ost.VideoPad) {
    if (!ost.VideoCrop) return src;
    // A view sharing the (decoded or converted) picture's buffers.
    AVFrame* view = ost.CropView.get();
    AVL.av_frame_unref(view);
    if (AVL.av_frame_ref(view, src) < 0) {
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
  // The picture is drawn on `canvas`: the output itself, or a composing
  // picture converted into the output at the end.
  AVFrame* canvas = out;
  if (ost.PadConvert) {
    canvas = ost.ComposePicture.get();
    if (!ost.ComposePool.Get(canvas)) {
      Log(0, "error padding picture");
      return nullptr;
    }
  }
  const AVPixelFormat canvasFormat = static_cast<AVPixelFormat>(canvas->format);
  uint8_t* inner[4];
  if (ost.VideoPad) {
    // The inner area is a view.
    if (!OffsetPicture(inner, canvas->linesize, canvas->data, canvasFormat, ost.PadTopBand, ost.PadLeftBand)) {
      Log(0, "error padding picture");
      return nullptr;
    }
  } else {
    for (int p = 0; p < 4; ++p) inner[p] = canvas->data[p];
  }
  if (ost.VideoResample) {
    AVL.sws_scale(ost.ScaleContext.get(), source, src->linesize, 0, ost.ResampleHeight, inner, canvas->linesize);
  } else {
    AVL.av_image_copy(inner, canvas->linesize, const_cast<const uint8_t**>(source), src->linesize, canvasFormat,
                      enc->width - ost.PadLeftBand - ost.PadRightBand, enc->height - ost.PadTopBand - ost.PadBottomBand);
  }
  // The bands are painted last: the scaler may copy whole lines when the
  // line sizes match, beyond the inner area's width.
  if (ost.VideoPad && !CopyPadBands(canvas, ost.PadBackground.get(), ost)) {
    Log(0, "error padding picture");
    return nullptr;
  }
  if (ost.PadConvert)
    AVL.sws_scale(ost.PadConvert.get(), canvas->data, canvas->linesize, 0, canvas->height, out->data, out->linesize);
  return out;
}

void TCustomFFmpeg::OutputVideo(AVFormatContext* file, TOutputStream& ost, int64_t syncPts, float quality,
                                AVFrame& picture, int& frameSize) {
  TTranscodeRun& run = *FRun;
  AVCodecContext* enc = ost.Encoder.get();
  frameSize = 0;
  if (ost.RecordingEnded) return;
  int64_t n = 1;

  const double tb = av_q2d(enc->time_base);
  const int method = S.VideoSyncMethod;
  const bool sync = method > 0 || (method == -1 && tb > 0.001);
  double ipts = static_cast<double>(syncPts - S.StartTime) / 1000000.0 - ost.SkippedTime;
  // A gap beyond what is filled is closed up: the picture follows the last
  // one written, and the stream keeps that shift.
  const double gap = ipts - static_cast<double>(ost.SyncCount) * tb;
  if (std::fabs(gap) > kMaxGapSeconds) {
    ost.SkippedTime += gap;
    ipts -= gap;
    if (gap > 0)
      Log(0, FormatText("frame duplication too large, skipping %lld frames (a gap of %.3f s in output stream #%d.%d)",
                        static_cast<long long>(std::llround(gap / tb)) - 1, gap, ost.FileIndex, ost.StreamIndex));
    else
      Log(0, FormatText("timestamps of output stream #%d.%d went back %.3f s, skipping back: pictures continue "
                        "after the last one",
                        ost.FileIndex, ost.StreamIndex, -gap));
  }
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
    ost.Writer->CountDropped();
    if (S.Verbose > 2) Log(1, "*** drop!");
  } else if (n > 1) {
    ost.Writer->CountDuplicated(static_cast<int>(n));
    if (S.Verbose > 2) Log(1, FormatText("*** %d dup!", static_cast<int>(n - 1)));
  }

  n = std::min<int64_t>(n, static_cast<int64_t>(S.MaxFrames[msVideo]) - ost.FrameNumber);
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
  f->quality = static_cast<int>(std::lround(S.SameQuality && quality > 0 ? quality : ost.Quality));
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

int TCustomFFmpeg::EncodeVideoFrame(AVFormatContext* file, TOutputStream& ost, AVFrame* frame, int maxPackets) {
  TTranscodeRun& run = *FRun;
  AVCodecContext* enc = ost.Encoder.get();
  if (frame && ost.HardwareFrames) {
    // Into the graphics device's memory, with the picture's times.
    AVFrame* device = ost.HardwareFrame.get();
    AVL.av_frame_unref(device);
    if (AVL.av_hwframe_get_buffer(ost.HardwareFrames.get(), device, 0) < 0 ||
        AVL.av_hwframe_transfer_data(device, frame, 0) < 0 || AVL.av_frame_copy_props(device, frame) < 0)
      throw FFMpegException("Video encoding failed");
    frame = device;
  }
  int ret = AVL.avcodec_send_frame(enc, frame);
  if (ret < 0 && ret != AVERROR_EOF) throw FFMpegException("Video encoding failed");
  AVPacket* pkt = ost.Packet.get();
  int total = 0;
  for (int packets = 0; maxPackets <= 0 || packets < maxPackets; ++packets) {
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
    ost.Writer->Write(pkt, enc);
    AVL.av_packet_unref(pkt);
    if (ost.PassLogFile && enc->stats_out) std::fprintf(ost.PassLogFile.get(), "%s", enc->stats_out);
  }
  return total;
}

void TCustomFFmpeg::FlushVideo(AVFormatContext* file, TOutputStream& ost) { EncodeVideoFrame(file, ost, nullptr); }

void TCustomFFmpeg::OutputSubtitle(AVFormatContext* file, TOutputStream& ost, AVRational timeBase,
                                   AVSubtitle& subtitle, int64_t pts) {
  if (pts == AV_NOPTS_VALUE) {
    Log(0, "Subtitle packets must have a pts");
    return;
  }
  constexpr AVRational kMilliseconds{1, 1000}, kMicroseconds{1, 1000000};
  // The cue on the output's time line: it starts at `start` (µs) and shows
  // for `shown` ms; the encoder gets it in that form (display times counted
  // from the cue's own start), the packet carries start and duration.
  const int64_t start = AVL.av_rescale_q(pts, timeBase, kMicroseconds) +
                        AVL.av_rescale_q(subtitle.start_display_time, kMilliseconds, kMicroseconds) - S.StartTime;
  if (start >= S.RecordingTime) {
    ost.RecordingEnded = true;
    return;
  }
  const uint32_t shown = subtitle.end_display_time > subtitle.start_display_time
                             ? subtitle.end_display_time - subtitle.start_display_time
                             : 0;
  constexpr int kSubtitleBufferSize = 65536;
  if (!ost.SubtitleBuffer) {
    ost.SubtitleBuffer.reset(static_cast<uint8_t*>(AVL.av_malloc(kSubtitleBufferSize)));
    if (!ost.SubtitleBuffer) return;
  }
  AVCodecContext* enc = ost.Encoder.get();
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
    const int size = AVL.avcodec_encode_subtitle(enc, ost.SubtitleBuffer.get(), kSubtitleBufferSize, &subtitle);
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
    std::memcpy(pkt->data, ost.SubtitleBuffer.get(), static_cast<size_t>(size));
    pkt->stream_index = ost.StreamIndex;
    pkt->pts = AVL.av_rescale_q(start, kMicroseconds, tb);
    pkt->duration = AVL.av_rescale_q(shown, kMilliseconds, tb);
    if (dvb && i == 1) pkt->pts += pkt->duration;
    pkt->dts = pkt->pts;
    try {
      ost.Writer->Write(pkt, nullptr);
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
