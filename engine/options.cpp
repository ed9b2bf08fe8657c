// Option vocabulary and the generic option setter.
#include "engine/FFmpeg.h"

namespace fennick {

void TCustomFFmpeg::ApplyOption(const std::string& name, const std::string& value) {
  throw FFMpegException("option vocabulary not built yet: " + name + "=" + value);
}
bool TCustomFFmpeg::SetGenericOption(const std::string&, const std::string&) { return false; }
void TCustomFFmpeg::SetInputFormat(const std::string& name) { throw FFMpegException("Unknown input format: " + name); }
void TCustomFFmpeg::SetOutputFormat(const std::string& name) { throw FFMpegException("Unknown output format: " + name); }
void TCustomFFmpeg::SetPadColor(uint32_t) {}
void TCustomFFmpeg::SetHookTimeRanges(std::vector<THookTimeRange> ranges) {
  FHookTimeRanges = std::move(ranges);
  FHookRangeIndex = 0;
}

}  // namespace fennick
