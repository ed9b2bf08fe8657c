#include "cli/progress_bar.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "cli/stream_output.h"
#include "jobs/row_texts.h"
#include "util/text_util.h"

namespace fennick::cli {

namespace {

int TerminalWidth() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

bool ContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Characters of a UTF-8 text (each takes one column).
int Columns(const std::string& text) {
  return static_cast<int>(std::count_if(text.begin(), text.end(), [](char c) { return !ContinuationByte(c); }));
}

// The first `columns` characters of text.
std::string Head(const std::string& text, int columns) {
  size_t end = 0;
  for (int n = 0; end < text.size(); ++end) {
    if (!ContinuationByte(text[end]) && n++ == columns) break;
  }
  return text.substr(0, end);
}

// The last `columns` characters of text.
std::string Tail(const std::string& text, int columns) {
  size_t start = text.size();
  for (int n = 0; start > 0 && n < columns;) {
    --start;
    if (!ContinuationByte(text[start])) ++n;
  }
  return text.substr(start);
}

double Fraction(const TProgressFigures& f) {
  return f.TotalMs > 0 ? std::clamp(static_cast<double>(f.CurrentMs) / f.TotalMs, 0.0, 1.0) : 0.0;
}

std::string PercentText(const TProgressFigures& f) {
  std::string percent = f.TotalMs > 0 ? std::to_string(static_cast<int>(Fraction(f) * 100)) + "%" : "--%";
  return std::string(5 - std::min<size_t>(percent.size(), 5), ' ') + percent;
}

// "  frame 120  1.2 MB  1.50x  left 00:00:03"; no frame count for audio.
std::string FiguresText(const TProgressFigures& f) {
  const TConversionPace pace = ConversionPace(f.CurrentMs, f.TotalMs, f.ElapsedSeconds);
  std::string figures = f.Frame >= 0 ? "  frame " + std::to_string(f.Frame) : "";
  return figures + "  " + FormatSize(f.Size) + "  " + pace.Speed + "  left " + pace.Left;
}

}  // namespace


std::string ProgressLine(const std::string& label, const TProgressFigures& f, int width) {
  const std::string percent = PercentText(f), figures = FiguresText(f);
  // label [#####.....] 45% figures
  const int usable = std::max(width - 1, 20);
  const int fixed = Columns(percent) + Columns(figures) + 3;
  const int labelColumns = Columns(label);
  // The bar keeps its width while the figures change length.
  const int barWidth = std::clamp(usable - 52 - labelColumns, 10, 30);
  std::string shownLabel = label;
  const int labelRoom = usable - fixed - barWidth - 1;
  if (labelRoom < labelColumns) shownLabel = labelRoom > 3 ? "..." + Tail(label, labelRoom - 3) : "";
  const int filled = static_cast<int>(Fraction(f) * barWidth);
  const std::string line = shownLabel + (shownLabel.empty() ? "" : " ") + "[" + std::string(filled, '#') +
                           std::string(barWidth - filled, '.') + "]" + percent + figures;
  return Columns(line) > usable ? Head(line, usable) : line;
}

std::string PlainProgressLine(const std::string& label, const TProgressFigures& f) {
  return label + " " + PercentText(f) + FiguresText(f);
}

void TProgressBar::Start(const std::string& label) {
  FLabel = label;
  FStart = std::chrono::steady_clock::now();
  FLast = TProgressFigures{};
  FPlainShown = false;
  if (FStyle == TProgressStyle::Bar) Draw();
}

TProgressFigures TProgressBar::Figures() const {
  TProgressFigures figures = FLast;
  figures.ElapsedSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - FStart).count();
  return figures;
}

void TProgressBar::Draw() {
  WriteStream(stderr, "\r" + ProgressLine(FLabel, Figures(), TerminalWidth()) + "\033[K");
  FDrawn = true;
}

void TProgressBar::Update(int frame, int currentMs, int totalMs, int64_t size) {
  if (FStyle == TProgressStyle::None) return;
  FLast.Frame = frame;
  FLast.CurrentMs = currentMs;
  FLast.TotalMs = totalMs;
  FLast.Size = size;
  if (FStyle == TProgressStyle::Bar) return Draw();
  const auto now = std::chrono::steady_clock::now();
  if (FPlainShown && now - FLastPlain < PlainInterval) return;
  FPlainShown = true;
  FLastPlain = now;
  WriteStream(stderr, PlainProgressLine(FLabel, Figures()) + "\n");
}

void TProgressBar::Finish(bool done) {
  if (FStyle != TProgressStyle::Bar) return;
  if (done) {
    // The whole file is converted, whatever the last report estimated.
    FLast.TotalMs = std::max({FLast.TotalMs, FLast.CurrentMs, 1});
    FLast.CurrentMs = FLast.TotalMs;
    Draw();
    WriteStream(stderr, "\n");
  } else if (FDrawn) {
    WriteStream(stderr, "\r\033[K");
  }
  FDrawn = false;
}

}  // namespace fennick::cli
