#include "util/text_util.h"

#include <cstdarg>
#include <cstdio>

namespace fennick {

std::string OneLine(std::string_view text) {
  const auto isBreak = [](char c) { return c == '\r' || c == '\n'; };
  std::string out;
  for (size_t i = 0; i < text.size();) {
    if (!isBreak(text[i])) {
      const auto c = static_cast<unsigned char>(text[i++]);
      out += c < ' ' || c == 0x7F ? ' ' : static_cast<char>(c);
      continue;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    while (i < text.size() && (isBreak(text[i]) || text[i] == ' ' || text[i] == '\t')) ++i;
    if (out.empty() || i == text.size()) continue;
    const char last = out.back();
    out += last == '.' || last == ':' || last == ';' ? " " : "; ";
  }
  return out;
}

std::string FormatText(const char* format, ...) {
  char buf[1024];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  if (n < 0) return {};
  if (static_cast<size_t>(n) < sizeof buf) return std::string(buf, static_cast<size_t>(n));
  std::string big(static_cast<size_t>(n) + 1, '\0');
  va_start(args, format);
  std::vsnprintf(big.data(), big.size(), format, args);
  va_end(args);
  big.resize(static_cast<size_t>(n));
  return big;
}

}  // namespace fennick
