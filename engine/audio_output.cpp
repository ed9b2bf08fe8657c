// Placeholder until the audio output stage lands: audio is not converted.
#include "engine/transcode_tables.h"

namespace fennick {

const int16_t* TCustomFFmpeg::DecodedAudioToS16(TInputStream&, const AVFrame&, int& bytes) {
  bytes = 0;
  return nullptr;
}
void TCustomFFmpeg::OutputAudio(AVFormatContext*, TOutputStream&, TInputStream&, const int16_t*, int) {}
void TCustomFFmpeg::FlushAudio(AVFormatContext*, TOutputStream&) {}
void TCustomFFmpeg::OpenOwnAudioEncoder(TOutputStream&) { throw FFMpegException("AMR-NB encoder not available"); }

}  // namespace fennick
