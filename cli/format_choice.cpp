#include "cli/format_choice.h"

#include <algorithm>
#include <charconv>
#include <cctype>
#include <numeric>
#include <optional>
#include <string_view>
#include <vector>

#include "cli/arguments.h"
#include "component/FFmpegVCL.h"
#include "component/hardware_encoders.h"
#include "profiles/profile_settings.h"
#include "profiles/output_formats.h"

namespace fennick::cli {

namespace {

// Blanks collapsed and trimmed, lower case: "8000  Hz" and "8000 hz" agree.
std::string Normalised(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (static_cast<unsigned char>(c) <= ' ') {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string WithoutBlanks(std::string_view text) {
  std::string out;
  for (char c : Normalised(text))
    if (c != ' ') out += c;
  return out;
}

// Edit distance between pattern and the closest part of text (a part is
// free to start and end anywhere); with wholeText, between the two texts.
size_t EditDistance(std::string_view pattern, std::string_view text, bool wholeText) {
  std::vector<size_t> row(text.size() + 1), next(text.size() + 1);
  for (size_t j = 0; j <= text.size(); ++j) row[j] = wholeText ? j : 0;
  for (size_t i = 1; i <= pattern.size(); ++i) {
    next[0] = i;
    for (size_t j = 1; j <= text.size(); ++j)
      next[j] = std::min({row[j] + 1, next[j - 1] + 1, row[j - 1] + (pattern[i - 1] == text[j - 1] ? 0 : 1)});
    std::swap(row, next);
  }
  return wholeText ? row.back() : *std::min_element(row.begin(), row.end());
}

std::string QuotedList(const std::vector<std::string>& items) {
  std::string text;
  for (const auto& item : items) text += (text.empty() ? "\"" : ", \"") + item + "\"";
  return text;
}

// The entries nearest to query: by short name, whole display name or a part
// of it; at most five, nearest first, ties in list order.
std::vector<std::string> ClosestFormats(const std::string& query, const std::vector<std::string>& offered) {
  std::vector<size_t> distance(offered.size());
  for (size_t i = 0; i < offered.size(); ++i) {
    const std::string display = Normalised(offered[i]);
    const std::string shortName = Normalised(LookupOutputFormat(offered[i])->FormatName);
    distance[i] = std::min({EditDistance(query, shortName, true), EditDistance(query, display, true),
                            EditDistance(query, display, false)});
  }
  std::vector<size_t> order(offered.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return distance[a] < distance[b]; });
  std::vector<std::string> closest;
  for (size_t k = 0; k < order.size() && k < 5; ++k) closest.push_back(offered[order[k]]);
  return closest;
}

// The number an item stands for, in the form the user types it: "640x480"
// for a size, "1500" for "1500 Kbps", "29.97" for "29.97 fps [NTSC]"; empty
// for items that are not numbers.
std::string ItemNumber(std::string_view item) {
  std::string text = Normalised(item.substr(0, item.find('(')));
  if (text.empty() || !std::isdigit(static_cast<unsigned char>(text.front()))) return "";
  const size_t x = text.find(" x ");
  if (x != std::string::npos) return WithoutBlanks(text);
  return text.substr(0, text.find(' '));
}

// Whether what the user typed names the item's number: the same text, or,
// for a plain number, the same value ("15" for "15.0 fps").
bool SameNumber(const std::string& typed, const std::string& item) {
  if (typed == item) return true;
  const auto value = [](const std::string& text) -> std::optional<double> {
    double number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return number;
  };
  const std::optional<double> a = value(typed), b = value(item);
  return a && b && *a == *b;
}

}  // namespace

void OfferThisMachinesHardwareEncoders() {
  if (VaapiRenderNodes().empty()) return;
  // The libraries stay loaded for the conversions; their log lines reach
  // this component, which shows none.
  TFFmpegVCL vcl;
  if (vcl.LoadCodecLibraries("", true)) OfferHardwareVideoEncoders(UsableVaapiEncoders());
}

std::string ResolveOutputFormat(const std::string& name) {
  const std::vector<std::string> offered = OfferedOutputFormats();
  for (const std::string& display : offered)
    if (display == name) return display;
  const std::string query = Normalised(name);
  if (query.empty()) throw EUsageError("-f needs a format name (fennick-convert --list-formats shows them)");
  for (const std::string& display : offered)
    if (Normalised(LookupOutputFormat(display)->FormatName) == query) return display;
  for (const std::string& display : offered)
    if (Normalised(display) == query) return display;
  std::vector<std::string> parts;
  for (const std::string& display : offered)
    if (Normalised(display).find(query) != std::string::npos) parts.push_back(display);
  if (parts.size() == 1) return parts.front();
  if (parts.size() > 1)
    throw EUsageError("output format \"" + name + "\" matches several entries: " + QuotedList(parts) +
                      "; give more of the name");
  throw EUsageError("unknown output format \"" + name + "\"; closest: " + QuotedList(ClosestFormats(query, offered)) +
                    " (fennick-convert --list-formats shows them all)");
}

int FindSettingItem(const TSettingsControl& control, const std::string& text) {
  if (const int exact = control.IndexOf(text); exact >= 0) return exact;
  const auto unique = [&](auto&& matches) {
    int found = -1, count = 0;
    for (int i = 0; i < control.Count(); ++i)
      if (matches(control.Items()[i])) found = i, ++count;
    return count == 1 ? found : -1;
  };
  const std::string normalised = Normalised(text);
  if (const int match = unique([&](const std::string& item) { return Normalised(item) == normalised; }); match >= 0)
    return match;
  const std::string number = WithoutBlanks(text);
  if (number.empty()) return -1;
  return unique([&](const std::string& item) { return SameNumber(number, ItemNumber(item)); });
}

}  // namespace fennick::cli
