// The per-file progress line on stderr: bar, percentage, frames, output
// size, speed and time left, redrawn in place.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace fennick::cli {

struct TProgressFigures {
  int Frame = 0;
  int CurrentMs = 0;  // output time reached
  int TotalMs = 0;    // expected output duration; 0 when unknown
  int64_t Size = 0;   // bytes written
  double ElapsedSeconds = 0;  // wall time since the file started
};

// "1.5 MB", "820 kB", "312 B".
std::string FormatSize(int64_t bytes);
// The line for a terminal of `width` columns (never wider than width - 1).
std::string ProgressLine(const std::string& label, const TProgressFigures& figures, int width);

// Draws the line for one file at a time; only used when stderr is a terminal.
class TProgressBar {
 public:
  explicit TProgressBar(bool enabled) : FEnabled(enabled) {}
  bool Enabled() const { return FEnabled; }
  void Start(const std::string& label);
  // Called from the task's thread.
  void Update(int frame, int currentMs, int totalMs, int64_t size);
  // Removes the line.
  void Clear();

 private:
  bool FEnabled;
  std::string FLabel;
  std::chrono::steady_clock::time_point FStart;
  bool FDrawn = false;
};

}  // namespace fennick::cli
