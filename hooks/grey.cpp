// A frame-hook module that turns every picture it is given to grey.
//
// Load it with the "vhook" option, for example
//   fennick-convert --engine -i in.mp4 -vhook build/bin/hook_grey.so out.avi
// A module is a shared library with three C entry points; the engine calls
//   Configure once, when the option is applied, with the option's words
//             (the first one is the module's own file name);
//   Process   for every decoded picture the hooks run on, before it is
//             scaled and encoded; it changes the picture in place;
//   Release   once, when the engine is done with the module.
#include <cstdint>

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace {

// What the engine hands to Process: the picture's planes and the bytes from
// one row of a plane to the next.
struct Picture {
  uint8_t* data[4];
  int linesize[4];
};

// The 8-bit planar YUV layouts: their first plane is brightness, the other
// two are colour; colour 128 is no colour. Height of the colour planes in
// rows of the picture: 2 for the 4:2:0 layouts, 1 for the others.
int ColourRowStep(int format) {
  switch (format) {
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUVA420P:
      return 2;
    case AV_PIX_FMT_YUV422P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUV444P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUV411P:
      return 1;
    default:
      return 0;  // not planar 8-bit YUV
  }
}

}  // namespace

extern "C" {

// Takes no arguments and keeps no state: the context stays empty. A module
// with settings would parse argv here and store a record in *context.
int Configure(void** context, int argc, char* argv[]) {
  if (argc > 1) return 1;  // a non-zero result refuses the option
  *context = nullptr;
  return 0;
}

void Process(void* context, Picture* picture, int format, int width, int height, int64_t pts) {
  const int rowStep = ColourRowStep(format);
  if (rowStep > 0) {
    // The colour planes: every sample becomes 128. Their width is given by
    // their row size, which may be wider than the picture: fill it all.
    const int colourRows = (height + rowStep - 1) / rowStep;
    for (int plane = 1; plane <= 2; ++plane)
      for (int y = 0; y < colourRows; ++y)
        for (int x = 0; x < picture->linesize[plane]; ++x) picture->data[plane][y * picture->linesize[plane] + x] = 128;
    return;
  }
  if (format == AV_PIX_FMT_RGB24 || format == AV_PIX_FMT_BGR24) {
    // Packed pictures: each pixel's three bytes become its brightness.
    const int first = format == AV_PIX_FMT_RGB24 ? 77 : 29, last = format == AV_PIX_FMT_RGB24 ? 29 : 77;
    for (int y = 0; y < height; ++y) {
      uint8_t* p = picture->data[0] + y * picture->linesize[0];
      for (int x = 0; x < width; ++x, p += 3) {
        const int grey = (p[0] * first + p[1] * 150 + p[2] * last + 128) >> 8;
        p[0] = p[1] = p[2] = static_cast<uint8_t>(grey);
      }
    }
  }
  // Other layouts are left as they are.
}

// Nothing to free: Configure kept nothing.
void Release(void* context) {}

}  // extern "C"
