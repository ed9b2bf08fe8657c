// Number and text parsing for the option handlers. The strict readers raise
// EConvertError naming the value; the lenient ones return a fallback.
#pragma once

#include <locale.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fennick {

// The codec libraries read and write numbers in option texts ("29.97",
// "0.5") with the C library, which follows the process's locale: under a
// decimal comma "29.97" would not read. Within this scope the calling thread
// uses the "C" locale, whatever the process's; scopes may nest.
class TClassicNumberScope {
 public:
  TClassicNumberScope();
  ~TClassicNumberScope();
  TClassicNumberScope(const TClassicNumberScope&) = delete;
  TClassicNumberScope& operator=(const TClassicNumberScope&) = delete;

 private:
  locale_t FPrevious;
};

// Decimal integers with an optional sign; surrounding blanks are allowed.
int32_t ParseInt32(const std::string& text);
int64_t ParseInt64(const std::string& text);
std::optional<int32_t> TryParseInt32(const std::string& text);
// Decimal, or hexadecimal after "0x" or "$" (a colour such as 0x00BBGGRR).
uint32_t ParseColorValue(const std::string& text);
// Finite decimal floating-point numbers with optional exponent.
double ParseFloat(const std::string& text);
std::optional<double> TryParseFloat(const std::string& text);

// Reads one integer in C notation (decimal, 0-prefixed octal, 0x-prefixed
// hexadecimal, optional sign) at `pos` and advances past it. Empty when no
// digit is there or the number does not fit in 32 bits.
std::optional<int32_t> ReadCInteger(std::string_view text, size_t& pos);

// Splits at any of the delimiter characters; empty pieces are dropped.
std::vector<std::string> SplitWords(std::string_view text, std::string_view delimiters, size_t maxWords);

}  // namespace fennick
