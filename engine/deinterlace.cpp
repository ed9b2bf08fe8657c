// An intra-frame deinterlacer: the first field (even lines) is kept and every
// line of the second field is rebuilt by a vertical (-1, 4, 2, 4, -1)/8
// low-pass over the lines two above to two below it, clamped at the edges.
// Works on each plane of planar 8-bit YUV (and grey) pictures.
#include <algorithm>
#include <cstring>

#include "engine/transcode_tables.h"

namespace fennick {

namespace {

void DeinterlacePlane(uint8_t* dst, int dstLinesize, const uint8_t* src, int srcLinesize, int width, int height) {
  auto line = [&](int y) { return src + static_cast<ptrdiff_t>(std::clamp(y, 0, height - 1)) * srcLinesize; };
  for (int y = 0; y < height; ++y) {
    uint8_t* out = dst + static_cast<ptrdiff_t>(y) * dstLinesize;
    if ((y & 1) == 0) {
      std::memcpy(out, line(y), static_cast<size_t>(width));
      continue;
    }
    const uint8_t* m2 = line(y - 2);
    const uint8_t* m1 = line(y - 1);
    const uint8_t* c0 = line(y);
    const uint8_t* p1 = line(y + 1);
    const uint8_t* p2 = line(y + 2);
    for (int x = 0; x < width; ++x) {
      const int sum = -m2[x] + 4 * m1[x] + 2 * c0[x] + 4 * p1[x] - p2[x];
      out[x] = static_cast<uint8_t>(std::clamp((sum + 4) >> 3, 0, 255));
    }
  }
}

}  // namespace

bool DeinterlacePicture(uint8_t* const dst[4], const int dstLinesize[4], const uint8_t* const src[4],
                        const int srcLinesize[4], AVPixelFormat format, int width, int height) {
  const AVPixFmtDescriptor* desc = AVL.av_pix_fmt_desc_get(format);
  if (!desc || width <= 0 || height <= 0) return false;
  if ((desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_PAL |
                      AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_FLOAT | AV_PIX_FMT_FLAG_BE)))
    return false;
  if (desc->nb_components != 1 && !(desc->flags & AV_PIX_FMT_FLAG_PLANAR)) return false;
  for (int c = 0; c < desc->nb_components; ++c)
    if (desc->comp[c].depth != 8 || desc->comp[c].step != 1 || desc->comp[c].plane != c) return false;
  ForEachComponent(*desc, [&](const AVComponentDescriptor& comp, int hs, int vs) {
    const int p = comp.plane;  // one component per plane
    DeinterlacePlane(dst[p], dstLinesize[p], src[p], srcLinesize[p], -((-width) >> hs), -((-height) >> vs));
  });
  return true;
}

}  // namespace fennick
