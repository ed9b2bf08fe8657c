#include "cli/json_output.h"

#include <cmath>
#include <cstdio>
#include <mutex>

#include "cli/stream_output.h"
#include "util/text_util.h"

namespace fennick::cli {

namespace {

// Length of the valid UTF-8 sequence at text[i], or 0.
size_t Utf8Length(std::string_view text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char c = byte(i);
  size_t n;
  uint32_t cp;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) n = 2, cp = c & 0x1F;
  else if (c >= 0xE0 && c <= 0xEF) n = 3, cp = c & 0x0F;
  else if (c >= 0xF0 && c <= 0xF4) n = 4, cp = c & 0x07;
  else return 0;
  if (i + n > text.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  if ((n == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
    return 0;
  return n;
}

}  // namespace

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
    } else if (c == '\n') {
      out += "\\n", ++i;
    } else if (c == '\r') {
      out += "\\r", ++i;
    } else if (c == '\t') {
      out += "\\t", ++i;
    } else if (c < 0x20 || c == 0x7F) {
      out += FormatText("\\u%04x", c);
      ++i;
    } else if (const size_t n = Utf8Length(text, i)) {
      out.append(text.substr(i, n));
      i += n;
    } else {
      out += "\\ufffd";
      ++i;
    }
  }
  return out + "\"";
}

std::string JsonNumber(double value) {
  if (!std::isfinite(value)) return "null";
  return FormatText("%.6g", value);
}

TJsonObject& TJsonObject::Raw(std::string_view key, const std::string& value) {
  if (FText.size() > 1) FText += ',';
  FText += JsonString(key) + ":" + value;
  return *this;
}

TJsonObject& TJsonObject::Add(std::string_view key, std::string_view text) { return Raw(key, JsonString(text)); }
TJsonObject& TJsonObject::Add(std::string_view key, int64_t value) { return Raw(key, std::to_string(value)); }
TJsonObject& TJsonObject::Add(std::string_view key, double value) { return Raw(key, JsonNumber(value)); }
TJsonObject& TJsonObject::Add(std::string_view key, bool value) { return Raw(key, value ? "true" : "false"); }

void WriteJsonLine(const TJsonObject& object) {
  static std::mutex lock;
  const std::string line = object.Text() + "\n";
  std::lock_guard<std::mutex> guard(lock);
  WriteStream(stdout, line);
}

}  // namespace fennick::cli
