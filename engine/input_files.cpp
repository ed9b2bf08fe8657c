// Input files: open, read stream information, take the input's parameters.
#include "engine/FFmpeg.h"

namespace fennick {

bool TCustomFFmpeg::AddInputFile(const std::string& fileName) {
  FLastError = fileName + ": Error while opening file";
  return false;
}
bool TCustomFFmpeg::FindCodecId(const std::string&, const std::string&, AVMediaType, AVCodecID& id, const AVCodec**) {
  id = AV_CODEC_ID_NONE;
  return false;
}
void TCustomFFmpeg::CopyGenericOptions(void*, void*, int) {}
void TCustomFFmpeg::InputMediaKinds(bool& v, bool& a, bool& s) { v = a = s = false; }
std::string TCustomFFmpeg::OpenErrorText(int, const std::string& fileName) { return fileName + ": Error while opening file"; }

}  // namespace fennick
