#include "engine/amrnb_encoder.h"

namespace fennick {

TAmrNbEncoder::TAmrNbEncoder() = default;
TAmrNbEncoder::~TAmrNbEncoder() = default;
bool TAmrNbEncoder::Open(int) { return false; }
int TAmrNbEncoder::Encode(const int16_t*, uint8_t*, int) { return -1; }

}  // namespace fennick
