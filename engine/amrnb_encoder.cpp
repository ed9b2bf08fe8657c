#include "engine/amrnb_encoder.h"

#include <opencore-amrnb/interf_enc.h>

namespace fennick {

namespace {
constexpr int kModeRates[] = {4750, 5150, 5900, 6700, 7400, 7950, 10200, 12200};
constexpr int kModeCount = sizeof kModeRates / sizeof kModeRates[0];
}  // namespace

TAmrNbEncoder::TAmrNbEncoder() = default;

TAmrNbEncoder::~TAmrNbEncoder() {
  if (FState) Encoder_Interface_exit(FState);
}

int TAmrNbEncoder::ModeForBitRate(int64_t bitRate) {
  if (bitRate <= 0) return kModeCount - 1;
  int mode = 0;
  for (int i = 0; i < kModeCount; ++i)
    if (kModeRates[i] <= bitRate) mode = i;
  return mode;
}

bool TAmrNbEncoder::Open(int64_t bitRate) {
  FMode = ModeForBitRate(bitRate);
  if (!FState) FState = Encoder_Interface_init(0);
  return FState != nullptr;
}

int TAmrNbEncoder::BitRate() const { return kModeRates[FMode]; }

int TAmrNbEncoder::Encode(const int16_t* samples, uint8_t* out, int outSize) {
  if (!FState || outSize < kMaxPacketSize) return -1;
  return Encoder_Interface_Encode(FState, static_cast<Mode>(FMode), samples, out, 0);
}

}  // namespace fennick
