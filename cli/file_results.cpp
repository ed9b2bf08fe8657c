#include "cli/file_results.h"

#include <algorithm>
#include <cctype>

#include "util/text_util.h"

namespace fennick::cli {

namespace {

// Length of "[NAME @ HEX]" at text[i] (HEX with or without "0x"), or 0.
size_t LogPrefixLength(std::string_view text, size_t i, std::string_view& name) {
  if (text[i] != '[') return 0;
  const size_t at = text.find(" @ ", i);
  const size_t close = text.find(']', i);
  if (at == std::string_view::npos || close == std::string_view::npos || at > close) return 0;
  std::string_view address = text.substr(at + 3, close - at - 3);
  if (address.substr(0, 2) == "0x" || address.substr(0, 2) == "0X") address.remove_prefix(2);
  if (address.empty()) return 0;
  for (char c : address)
    if (!std::isxdigit(static_cast<unsigned char>(c))) return 0;
  name = text.substr(i + 1, at - i - 1);
  return close + 1 - i;
}

}  // namespace

std::string ReasonForPeople(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    std::string_view name;
    if (const size_t n = LogPrefixLength(text, i, name)) {
      out.append(name);
      out += ": ";
      i += n;
      while (i < text.size() && text[i] == ' ') ++i;
    } else {
      out += text[i++];
    }
  }
  return OneLine(out);
}

std::string ResultLine(const TFileResult& r) {
  std::string line = r.Status + std::string(6 - std::min<size_t>(r.Status.size(), 5), ' ') + r.Source + " -> " +
                     (r.Output.empty() ? "-" : r.Output);
  if (r.Status == "Fail") line += ": " + r.Message;
  // A note on a finished file (its source ended early).
  if (r.Status == "Done" && !r.Message.empty()) line += " (" + r.Message + ")";
  return line;
}

TJsonObject DoneEvent(const TFileResult& r) {
  TJsonObject json;
  json.Add("event", "done").Add("index", r.Index).Add("source", r.Source);
  if (r.Output.empty())
    json.AddNull("output");
  else
    json.Add("output", r.Output);
  json.Add("status", r.Status).Add("message", r.Message);
  if (r.OutputSize >= 0)
    json.Add("size", r.OutputSize);
  else
    json.AddNull("size");
  if (r.OutputDurationMs >= 0)
    json.Add("duration_ms", r.OutputDurationMs);
  else
    json.AddNull("duration_ms");
  return json;
}

}  // namespace fennick::cli
