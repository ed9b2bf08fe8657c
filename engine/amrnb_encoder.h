// AMR-NB encoding through libopencore-amrnb: the codec libraries of this
// platform have no AMR-NB encoder, so the engine carries its own.
#pragma once

#include <cstdint>
#include <memory>

namespace fennick {

class TAmrNbEncoder {
 public:
  static constexpr int kSampleRate = 8000;
  static constexpr int kFrameSize = 160;  // samples per frame, mono

  TAmrNbEncoder();
  ~TAmrNbEncoder();
  TAmrNbEncoder(const TAmrNbEncoder&) = delete;
  TAmrNbEncoder& operator=(const TAmrNbEncoder&) = delete;

  // Opens the encoder for the nearest mode not above `bitRate` (4750..12200).
  bool Open(int bitRate);
  // Encodes one frame of 160 mono samples; returns the packet size (with its
  // storage-format header byte) or a negative value on failure.
  int Encode(const int16_t* samples, uint8_t* out, int outSize);

 private:
  void* FState = nullptr;
  int FMode = 0;
};

}  // namespace fennick
