#include "cli/progress_bar.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "app/row_texts.h"

namespace fennick::cli {

namespace {

int TerminalWidth() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

}  // namespace

std::string FormatSize(int64_t bytes) {
  char text[32];
  if (bytes >= 1000 * 1000)
    std::snprintf(text, sizeof text, "%.1f MB", bytes / 1e6);
  else if (bytes >= 1000)
    std::snprintf(text, sizeof text, "%lld kB", static_cast<long long>(bytes / 1000));
  else
    std::snprintf(text, sizeof text, "%lld B", static_cast<long long>(std::max<int64_t>(bytes, 0)));
  return text;
}

std::string ProgressLine(const std::string& label, const TProgressFigures& f, int width) {
  const bool known = f.TotalMs > 0;
  const double fraction = known ? std::clamp(static_cast<double>(f.CurrentMs) / f.TotalMs, 0.0, 1.0) : 0.0;
  char figures[160];
  std::string left = "--:--:--";
  if (known && fraction > 0 && f.ElapsedSeconds > 0)
    left = FormatDuration(':', f.ElapsedSeconds * (1 - fraction) / fraction);
  const double speed = f.ElapsedSeconds > 0 ? f.CurrentMs / 1000.0 / f.ElapsedSeconds : 0;
  std::snprintf(figures, sizeof figures, "  frame %d  %s  %.2fx  left %s", f.Frame,
                FormatSize(f.Size).c_str(), speed, left.c_str());
  std::string percent = known ? std::to_string(static_cast<int>(fraction * 100)) + "%" : "--%";
  percent.insert(0, 5 - std::min<size_t>(percent.size(), 5), ' ');

  // label [#####.....] 45% figures
  const int usable = std::max(width - 1, 20);
  const int fixed = static_cast<int>(percent.size() + std::char_traits<char>::length(figures)) + 3;
  // The bar keeps its width while the figures change length.
  const int barWidth = std::clamp(usable - 52 - static_cast<int>(label.size()), 10, 30);
  std::string shownLabel = label;
  const int labelRoom = usable - fixed - barWidth - 1;
  if (labelRoom < static_cast<int>(shownLabel.size()))
    shownLabel = labelRoom > 3 ? "..." + shownLabel.substr(shownLabel.size() - (labelRoom - 3)) : "";
  const int filled = static_cast<int>(fraction * barWidth);
  std::string line = shownLabel + (shownLabel.empty() ? "" : " ") + "[" + std::string(filled, '#') +
                     std::string(barWidth - filled, '.') + "]" + percent + figures;
  if (static_cast<int>(line.size()) > usable) line.resize(usable);
  return line;
}

void TProgressBar::Start(const std::string& label) {
  FLabel = label;
  FStart = std::chrono::steady_clock::now();
  if (FEnabled) Update(0, 0, 0, 0);
}

void TProgressBar::Update(int frame, int currentMs, int totalMs, int64_t size) {
  if (!FEnabled) return;
  TProgressFigures figures{frame, currentMs, totalMs, size,
                           std::chrono::duration<double>(std::chrono::steady_clock::now() - FStart).count()};
  const std::string line = "\r" + ProgressLine(FLabel, figures, TerminalWidth()) + "\033[K";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  FDrawn = true;
}

void TProgressBar::Clear() {
  if (!FEnabled || !FDrawn) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  FDrawn = false;
}

}  // namespace fennick::cli
