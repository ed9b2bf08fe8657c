// AMR-NB encoding through libopencore-amrnb: the codec libraries of this
// platform have no AMR-NB encoder, so the engine carries its own. One object
// per output stream, used only on the task's thread.
#pragma once

#include <cstdint>

namespace fennick {

class TAmrNbEncoder {
 public:
  static constexpr int kSampleRate = 8000;
  static constexpr int kFrameSize = 160;     // samples per frame, mono
  static constexpr int kMaxPacketSize = 32;  // 12.2 kbit/s: TOC byte + 31 bytes

  TAmrNbEncoder();
  ~TAmrNbEncoder();
  TAmrNbEncoder(const TAmrNbEncoder&) = delete;
  TAmrNbEncoder& operator=(const TAmrNbEncoder&) = delete;

  // Opens the encoder for the highest mode not above `bitRate` (4750..12200
  // bit/s; lower rates get 4750, 0 or less gets 12200). False when the
  // library cannot create its state.
  bool Open(int64_t bitRate);
  // The bit rate of the chosen mode.
  int BitRate() const;
  // Encodes one frame of 160 mono samples into `out` as one storage-format
  // frame (TOC byte first); returns its size or a negative value on failure.
  int Encode(const int16_t* samples, uint8_t* out, int outSize);

  // The mode index (0..7) the rate gives, following Open's rule.
  static int ModeForBitRate(int64_t bitRate);

 private:
  void* FState = nullptr;
  int FMode = 7;
};

}  // namespace fennick
