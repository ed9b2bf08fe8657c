// Text helpers that every layer may use: trimming, folding a text into one
// line and printf-style formatting into a string. This folder depends on nothing of the project.
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

// `text` as one line, for a reason shown in a result line or a tip: each line
// break (CR, LF or both, with the blanks around it) becomes "; ", or a blank
// after a line that ends in ".", ":" or ";"; other control characters
// become blanks; breaks at either end are dropped.
// "x: I/O error occurred\r\nUsually ..." gives "x: I/O error occurred; Usually ...".
std::string OneLine(std::string_view text);

// printf-style formatting into a string of any length (numbers follow the
// calling thread's locale, as printf's do).
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace fennick
