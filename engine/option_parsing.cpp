// Number and text parsing for the option handlers.
#include "engine/option_parsing.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

#include "engine/FFmpeg.h"
#include "util/text_util.h"

namespace fennick {

namespace {

template <typename T>
std::optional<T> ParseDecimal(const std::string& text) {
  std::string_view digits = Trim(text);
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  if (digits.empty() || digits.front() == '+') return std::nullopt;
  T value{};
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

[[noreturn]] void NotAnInteger(const std::string& text) {
  throw EConvertError("'" + text + "' is not a valid integer value");
}

}  // namespace

TClassicNumberScope::TClassicNumberScope() {
  // One "C" locale object for the process, never freed.
  static const locale_t classic = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  FPrevious = classic ? uselocale(classic) : static_cast<locale_t>(0);
}

TClassicNumberScope::~TClassicNumberScope() {
  if (FPrevious) uselocale(FPrevious);
}

int32_t ParseInt32(const std::string& text) {
  if (auto v = ParseDecimal<int32_t>(text)) return *v;
  NotAnInteger(text);
}

int64_t ParseInt64(const std::string& text) {
  if (auto v = ParseDecimal<int64_t>(text)) return *v;
  NotAnInteger(text);
}

std::optional<int32_t> TryParseInt32(const std::string& text) { return ParseDecimal<int32_t>(text); }

uint32_t ParseColorValue(const std::string& text) {
  std::string_view hex = Trim(text);
  if (hex.starts_with("0x") || hex.starts_with("0X"))
    hex.remove_prefix(2);
  else if (hex.starts_with("$"))
    hex.remove_prefix(1);
  else
    return static_cast<uint32_t>(ParseInt32(text));
  uint32_t value = 0;
  const auto [end, ec] = std::from_chars(hex.data(), hex.data() + hex.size(), value, 16);
  if (hex.empty() || ec != std::errc{} || end != hex.data() + hex.size()) NotAnInteger(text);
  return value;
}

std::optional<double> TryParseFloat(const std::string& text) {
  std::string_view digits = Trim(text);
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  if (digits.empty() || digits.front() == '+') return std::nullopt;
  // Only plain decimal notation: no "inf", "nan" or hexadecimal floats.
  for (char c : digits)
    if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != 'e' && c != 'E')
      return std::nullopt;
  double value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec != std::errc{} || end != digits.data() + digits.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

double ParseFloat(const std::string& text) {
  if (auto v = TryParseFloat(text)) return *v;
  throw EConvertError("'" + text + "' is not a valid floating point value");
}

std::optional<int32_t> ReadCInteger(std::string_view text, size_t& pos) {
  size_t p = pos;
  bool negative = false;
  if (p < text.size() && (text[p] == '+' || text[p] == '-')) negative = text[p++] == '-';
  int base = 10;
  if (p + 1 < text.size() && text[p] == '0' && (text[p + 1] == 'x' || text[p + 1] == 'X') && p + 2 < text.size() &&
      std::isxdigit(static_cast<unsigned char>(text[p + 2]))) {
    base = 16;
    p += 2;
  } else if (p < text.size() && text[p] == '0') {
    base = 8;
  }
  uint64_t magnitude = 0;
  const auto [end, ec] = std::from_chars(text.data() + p, text.data() + text.size(), magnitude, base);
  if (ec != std::errc{} || end == text.data() + p || magnitude > uint64_t{1} << 31) return std::nullopt;
  const int64_t value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
  if (value > std::numeric_limits<int32_t>::max()) return std::nullopt;
  pos = static_cast<size_t>(end - text.data());
  return static_cast<int32_t>(value);
}

std::vector<std::string> SplitWords(std::string_view text, std::string_view delimiters, size_t maxWords) {
  std::vector<std::string> words;
  size_t p = 0;
  while (p < text.size() && words.size() < maxWords) {
    p = text.find_first_not_of(delimiters, p);
    if (p == std::string_view::npos) break;
    size_t e = text.find_first_of(delimiters, p);
    if (e == std::string_view::npos) e = text.size();
    words.emplace_back(text.substr(p, e - p));
    p = e;
  }
  return words;
}

}  // namespace fennick
