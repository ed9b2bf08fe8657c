// Text helpers that every layer may use: trimming and printf-style
// formatting into a string. This folder depends on nothing of the project.
#pragma once

#include <string>
#include <string_view>

namespace fennick {

// `text` without blanks and control characters (every byte up to ' ') at
// either end; a view into `text`.
constexpr std::string_view Trim(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  return text;
}

// printf-style formatting into a string of any length (numbers follow the
// calling thread's locale, as printf's do).
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace fennick
