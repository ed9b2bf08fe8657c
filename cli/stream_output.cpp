#include "cli/stream_output.h"

#include <atomic>
#include <cerrno>
#include <csignal>

namespace fennick::cli {

namespace {

std::atomic<bool> g_StdoutGone{false}, g_StderrGone{false};

std::atomic<bool>* GoneFlag(std::FILE* stream) {
  if (stream == stdout) return &g_StdoutGone;
  if (stream == stderr) return &g_StderrGone;
  return nullptr;
}

}  // namespace

void IgnoreBrokenPipes() { std::signal(SIGPIPE, SIG_IGN); }

void WriteStream(std::FILE* stream, std::string_view text) {
  std::atomic<bool>* gone = GoneFlag(stream);
  if (gone && gone->load()) return;
  errno = 0;
  const bool written = std::fwrite(text.data(), 1, text.size(), stream) == text.size() && std::fflush(stream) == 0;
  if (written) return;
  if (gone && errno == EPIPE) gone->store(true);
  std::clearerr(stream);
}

}  // namespace fennick::cli
