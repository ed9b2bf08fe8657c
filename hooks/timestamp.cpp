// A frame-hook module that draws each picture's time stamp, "HH:MM:SS.mmm",
// in black digits on a white box near the top-left corner.
//
// Load it with the "vhook" option; the optional words after the file name
// place the box's top-left corner and enlarge the digits:
//   fennick-convert --engine -i in.mp4 -vhook "build/bin/hook_timestamp.so 8 8 2" out.avi
// A module is a shared library with three C entry points; the engine calls
//   Configure once, when the option is applied, with the option's words
//             (the first one is the module's own file name);
//   Process   for every decoded picture the hooks run on, before it is
//             scaled and encoded; it changes the picture in place;
//   Release   once, when the engine is done with the module.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>

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

// The settings Configure reads; the engine keeps the pointer for us.
struct Settings {
  int left = 2, top = 2;  // the box's top-left corner, in pixels
  int scale = 1;          // each dot of the font is scale x scale pixels
};

// A 3x5 dot font: one row per entry, the top bit is the left dot.
const uint8_t kDigits[10][5] = {{7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7},
                                {5, 5, 7, 1, 1}, {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1},
                                {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7}};
const uint8_t kColon[5] = {0, 2, 0, 2, 0};
const uint8_t kPoint[5] = {0, 0, 0, 0, 2};
const int kPadding = 2;  // dots of white around the text

const uint8_t* Glyph(char c) {
  if (c >= '0' && c <= '9') return kDigits[c - '0'];
  return c == ':' ? kColon : kPoint;
}

// Sets one picture pixel to white (true) or black, in the layouts we know.
// Brightness 235 and 16 are white and black of video YUV; colour 128 is none.
void Paint(Picture& p, int format, int x, int y, bool white) {
  const uint8_t luma = white ? 235 : 16;
  switch (format) {
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUVJ420P:
      p.data[0][y * p.linesize[0] + x] = luma;
      p.data[1][(y / 2) * p.linesize[1] + x / 2] = 128;
      p.data[2][(y / 2) * p.linesize[2] + x / 2] = 128;
      break;
    case AV_PIX_FMT_YUV422P:
    case AV_PIX_FMT_YUVJ422P:
      p.data[0][y * p.linesize[0] + x] = luma;
      p.data[1][y * p.linesize[1] + x / 2] = 128;
      p.data[2][y * p.linesize[2] + x / 2] = 128;
      break;
    case AV_PIX_FMT_YUV444P:
    case AV_PIX_FMT_YUVJ444P:
      p.data[0][y * p.linesize[0] + x] = luma;
      p.data[1][y * p.linesize[1] + x] = 128;
      p.data[2][y * p.linesize[2] + x] = 128;
      break;
    case AV_PIX_FMT_GRAY8:
      p.data[0][y * p.linesize[0] + x] = luma;
      break;
    case AV_PIX_FMT_RGB24:
    case AV_PIX_FMT_BGR24: {
      uint8_t* q = p.data[0] + y * p.linesize[0] + x * 3;
      q[0] = q[1] = q[2] = white ? 255 : 0;
      break;
    }
    default:
      break;  // other layouts are left as they are
  }
}

}  // namespace

extern "C" {

// Words: [left top [scale]], all whole numbers (left and top from 0, scale
// from 1). A non-zero result refuses the option.
int Configure(void** context, int argc, char* argv[]) {
  Settings* settings = new (std::nothrow) Settings;
  if (!settings) return 1;
  int* fields[] = {&settings->left, &settings->top, &settings->scale};
  for (int i = 1; i < argc; ++i) {
    char* end = nullptr;
    const long value = std::strtol(argv[i], &end, 10);
    if (i > 3 || end == argv[i] || *end != '\0' || value < (i == 3 ? 1 : 0) || value > 4096) {
      delete settings;
      return 1;
    }
    *fields[i - 1] = static_cast<int>(value);
  }
  *context = settings;
  return 0;
}

void Process(void* context, Picture* picture, int format, int width, int height, int64_t pts) {
  const Settings& s = *static_cast<Settings*>(context);
  if (pts < 0) pts = 0;
  const long long ms = pts / 1000;
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60,
                ms % 1000);

  // The box in font dots: 3 dots per character and 1 between characters,
  // 5 rows, with the padding all round.
  int chars = 0;
  while (text[chars]) ++chars;
  const int dotsWide = chars * 4 - 1 + 2 * kPadding, dotsHigh = 5 + 2 * kPadding;
  for (int dy = 0; dy < dotsHigh; ++dy) {
    for (int dx = 0; dx < dotsWide; ++dx) {
      // Inside the text area, the dot is black where the glyph has it.
      bool white = true;
      const int tx = dx - kPadding, ty = dy - kPadding;
      if (tx >= 0 && ty >= 0 && ty < 5 && tx % 4 < 3 && tx / 4 < chars)
        white = !(Glyph(text[tx / 4])[ty] & (4 >> (tx % 4)));
      // Each dot covers scale x scale pixels; what falls outside is cut off.
      for (int py = 0; py < s.scale; ++py) {
        const int y = s.top + dy * s.scale + py;
        if (y >= height) break;
        for (int px = 0; px < s.scale; ++px) {
          const int x = s.left + dx * s.scale + px;
          if (x >= width) break;
          Paint(*picture, format, x, y, white);
        }
      }
    }
  }
}

// Frees what Configure made.
void Release(void* context) { delete static_cast<Settings*>(context); }

}  // extern "C"
