// Output files and their streams.
#include "engine/FFmpeg.h"

namespace fennick {

bool TCustomFFmpeg::AddOutputFile(const std::string& fileName) {
  FLastError = "Could not open '" + fileName + "'";
  return false;
}
void TCustomFFmpeg::AddVideoStream(TOutputFileSlot&) { throw FFMpegException("Could not alloc stream"); }
void TCustomFFmpeg::AddAudioStream(TOutputFileSlot&) { throw FFMpegException("Could not alloc stream"); }
void TCustomFFmpeg::AddSubtitleStream(TOutputFileSlot&) { throw FFMpegException("Could not alloc stream"); }

}  // namespace fennick
