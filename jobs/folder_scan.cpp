#include "jobs/folder_scan.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "profiles/output_formats.h"

namespace fennick {

namespace fs = std::filesystem;

namespace {

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// Glob match of lower-case text against a lower-case pattern.
bool GlobMatch(std::string_view text, std::string_view pattern) {
  size_t t = 0, p = 0, starP = std::string_view::npos, starT = 0;
  while (t < text.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
      ++t, ++p;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++, starT = t;
    } else if (starP != std::string_view::npos) {
      p = starP + 1, t = ++starT;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

void AddFolder(const fs::path& folder, const std::string& subfolder, const std::vector<std::string>& patterns,
               const std::function<bool()>& stopped, std::vector<TSourceFile>& out) {
  std::error_code error;
  std::vector<fs::directory_entry> entries;
  for (fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, error), end;
       !error && it != end; it.increment(error)) {
    if (stopped && stopped()) return;
    entries.push_back(*it);
  }
  std::sort(entries.begin(), entries.end(), [](const fs::directory_entry& a, const fs::directory_entry& b) {
    return a.path().filename().string() < b.path().filename().string();
  });
  for (const fs::directory_entry& entry : entries) {
    if (stopped && stopped()) return;
    std::error_code statusError;
    const fs::file_status linkStatus = entry.symlink_status(statusError);
    if (statusError) continue;
    if (fs::is_directory(linkStatus)) {
      const std::string name = entry.path().filename().string();
      AddFolder(entry.path(), subfolder.empty() ? name : subfolder + "/" + name, patterns, stopped, out);
    } else {
      // A link counts as what it points to.
      const fs::file_status status = fs::is_symlink(linkStatus) ? entry.status(statusError) : linkStatus;
      if (!statusError && fs::is_regular_file(status) && MatchesPatterns(entry.path().filename().string(), patterns))
        out.push_back({entry.path().string(), subfolder});
    }
  }
}

}  // namespace

std::vector<std::string> DefaultFilterPatterns(std::string_view filter) {
  std::vector<std::string> patterns;
  const size_t start = filter.find('|');
  if (start == std::string_view::npos) return patterns;
  const size_t end = filter.find('|', start + 1);
  const std::string_view list = filter.substr(start + 1, end == std::string_view::npos ? end : end - start - 1);
  std::string pattern;
  for (size_t i = 0; i <= list.size(); ++i) {
    if (i == list.size() || list[i] == ';') {
      if (!pattern.empty()) patterns.push_back(pattern);
      pattern.clear();
    } else if (list[i] != ' ') {
      pattern += Lower(list[i]);
    }
  }
  return patterns;
}

bool MatchesPatterns(std::string_view fileName, const std::vector<std::string>& patterns) {
  std::string lower(fileName);
  std::transform(lower.begin(), lower.end(), lower.begin(), Lower);
  return std::any_of(patterns.begin(), patterns.end(),
                     [&](const std::string& pattern) { return GlobMatch(lower, pattern); });
}

std::vector<std::string> MediaFilePatterns() { return DefaultFilterPatterns(OpenDialogFilter()); }

std::vector<TSourceFile> ScanFileSources(const std::vector<std::string>& paths,
                                         const std::vector<std::string>& patterns, bool makeAbsolute,
                                         const std::function<bool()>& stopped) {
  std::vector<TSourceFile> files;
  for (const std::string& given : paths) {
    if (stopped && stopped()) break;
    if (given.empty()) continue;
    std::error_code error;
    fs::path path = given;
    if (makeAbsolute) {
      path = fs::absolute(given, error);
      if (error) path = given;
    }
    if (fs::is_directory(path, error))
      AddFolder(path, "", patterns, stopped, files);
    else
      files.push_back({path.string(), ""});
  }
  return files;
}

std::vector<std::string> ExpandFileSources(const std::vector<std::string>& paths,
                                           const std::vector<std::string>& patterns,
                                           const std::function<bool()>& stopped) {
  std::vector<std::string> files;
  for (TSourceFile& file : ScanFileSources(paths, patterns, true, stopped)) files.push_back(std::move(file.Path));
  return files;
}

}  // namespace fennick
