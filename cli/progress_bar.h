// The per-file progress on stderr: on a terminal a bar with percentage,
// frames, output size, speed and time left, redrawn in place; elsewhere
// (a log file, a pipe) a plain line now and then.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "jobs/row_texts.h"

namespace fennick::cli {

struct TProgressFigures {
  int Frame = 0;      // pictures written; negative when the output has no video
  int CurrentMs = 0;  // output time reached
  int TotalMs = 0;    // expected output duration; 0 or less when unknown
  int64_t Size = 0;   // bytes written
  double ElapsedSeconds = 0;  // wall time since the file started
};

// The bar line for a terminal of `width` columns (never wider than
// width - 1 characters); a long label loses its beginning, never part of a
// character.
std::string ProgressLine(const std::string& label, const TProgressFigures& figures, int width);
// The same figures without the bar, for output that is not a terminal.
std::string PlainProgressLine(const std::string& label, const TProgressFigures& figures);

enum class TProgressStyle { None, Bar, Plain };

// Draws one file at a time. Start and Finish are called on the main thread,
// Update on the task's thread in between.
class TProgressBar {
 public:
  // Plain lines come at most this often.
  static constexpr std::chrono::seconds PlainInterval{5};

  explicit TProgressBar(TProgressStyle style) : FStyle(style) {}
  void Start(const std::string& label);
  void Update(int frame, int currentMs, int totalMs, int64_t size);
  // The file has ended: a Done file's bar is drawn full and kept, any other
  // is removed.
  void Finish(bool done);

 private:
  TProgressFigures Figures() const;
  void Draw();

  const TProgressStyle FStyle;
  std::string FLabel;
  std::chrono::steady_clock::time_point FStart, FLastPlain;
  bool FPlainShown = false;
  TProgressFigures FLast;
  bool FDrawn = false;
};

}  // namespace fennick::cli
