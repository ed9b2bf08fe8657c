// JSON lines for --json: one object per line, written whole.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace fennick::cli {

// A JSON string literal (quotes included); bytes that are not valid UTF-8
// are replaced by U+FFFD so that every line parses.
std::string JsonString(std::string_view text);
// A JSON number; non-finite values become null.
std::string JsonNumber(double value);

// Builds one object field by field.
class TJsonObject {
 public:
  TJsonObject& Add(std::string_view key, std::string_view text);
  TJsonObject& Add(std::string_view key, const char* text) { return Add(key, std::string_view(text)); }
  TJsonObject& Add(std::string_view key, const std::string& text) { return Add(key, std::string_view(text)); }
  TJsonObject& Add(std::string_view key, int64_t value);
  TJsonObject& Add(std::string_view key, int value) { return Add(key, static_cast<int64_t>(value)); }
  TJsonObject& Add(std::string_view key, double value);
  TJsonObject& Add(std::string_view key, bool value);
  // null for what is not known.
  TJsonObject& AddNull(std::string_view key) { return Raw(key, "null"); }
  std::string Text() const { return FText + "}"; }

 private:
  TJsonObject& Raw(std::string_view key, const std::string& value);
  std::string FText = "{";
};

// Writes one line to stdout and flushes it (nothing once stdout's reader has
// gone); safe from any thread.
void WriteJsonLine(const TJsonObject& object);

}  // namespace fennick::cli
