// The target presets: vcd, svcd, dvd, dv, dv50.
#include "engine/FFmpeg.h"

namespace fennick {

void TCustomFFmpeg::ApplyTarget(const std::string&, const std::string&, const std::string&) {
  throw FFMpegException("Unknown target type");
}

}  // namespace fennick
