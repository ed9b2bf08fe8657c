// Transcode set-up: run tables, source choice, codec opening, headers.
#include "engine/transcode_tables.h"

namespace fennick {

void TCustomFFmpeg::Transcode() { throw FFMpegException("The conversion stage is not available in this build"); }
void TCustomFFmpeg::CloseOpenEncoders() { OpenEncoders.clear(); }
void TCustomFFmpeg::CloseOpenDecoders() { OpenDecoders.clear(); }
void TCustomFFmpeg::FreeTranscodeTables() { FRun.reset(); }

}  // namespace fennick
