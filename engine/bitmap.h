// The picture handed to the custom frame hook: rows of pixels, top row first,
// each row padded to 4 bytes. By default 24-bit BGR (three bytes per pixel,
// blue first); an engine whose hook pixel format is another packed layout
// (32-bit BGRA, 8-bit grey ...) makes its bitmap with that many bytes per
// pixel, in that layout.
#pragma once

#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace fennick {

class TBitmap {
 public:
  TBitmap() = default;
  TBitmap(int width, int height, int bytesPerPixel = 3) { SetSize(width, height, bytesPerPixel); }
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;

  // Resizes and clears to black. Negative sizes count as 0; bytes per pixel
  // are 1 to 4 (anything else counts as 3).
  void SetSize(int width, int height) { SetSize(width, height, FBytesPerPixel); }
  void SetSize(int width, int height, int bytesPerPixel) {
    FBytesPerPixel = bytesPerPixel >= 1 && bytesPerPixel <= 4 ? bytesPerPixel : 3;
    FWidth = width > 0 ? width : 0;
    FHeight = height > 0 ? height : 0;
    FStride = (FWidth * FBytesPerPixel + 3) & ~3;
    FPixels.assign(static_cast<size_t>(FStride) * FHeight, 0);
  }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  int BytesPerPixel() const { return FBytesPerPixel; }
  // Bytes from one row to the next.
  int Stride() const { return FStride; }

  uint8_t* ScanLine(int row) { return FPixels.data() + RowOffset(row); }
  const uint8_t* ScanLine(int row) const { return FPixels.data() + RowOffset(row); }

  // The canvas lock: whoever draws on or reads the pixels from another thread
  // holds it (std::lock_guard<TBitmap> works too).
  void Lock() { FCanvasLock.lock(); }
  void Unlock() { FCanvasLock.unlock(); }
  bool TryLock() { return FCanvasLock.try_lock(); }
  void lock() { Lock(); }
  void unlock() { Unlock(); }
  bool try_lock() { return TryLock(); }

 private:
  size_t RowOffset(int row) const {
    if (row < 0 || row >= FHeight) throw std::out_of_range("Scan line index out of range (" + std::to_string(row) + ")");
    return static_cast<size_t>(row) * FStride;
  }

  int FWidth = 0, FHeight = 0, FStride = 0, FBytesPerPixel = 3;
  std::vector<uint8_t> FPixels;
  std::mutex FCanvasLock;
};

}  // namespace fennick
