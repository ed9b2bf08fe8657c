#include "codec_library/codec_library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string_view>

namespace fennick {

TCodecEntryPoints AVL;

namespace {

struct LibraryState {
  TCodecLibrary id;
  const char* stem;  // "avcodec"
  int major;         // soname major of the installed generation
  void* handle = nullptr;
  bool bound = false;
  std::string error;
};

std::array<LibraryState, 5>& Libraries() {
  static std::array<LibraryState, 5> libs{{
      {TCodecLibrary::Codec, "avcodec", LIBAVCODEC_VERSION_MAJOR},
      {TCodecLibrary::Container, "avformat", LIBAVFORMAT_VERSION_MAJOR},
      {TCodecLibrary::Utility, "avutil", LIBAVUTIL_VERSION_MAJOR},
      {TCodecLibrary::Scaler, "swscale", LIBSWSCALE_VERSION_MAJOR},
      {TCodecLibrary::Resampler, "swresample", LIBSWRESAMPLE_VERSION_MAJOR},
  }};
  return libs;
}

bool g_loaded = false;
std::string g_error;

std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
  return s;
}

// Binds every function of one library; returns the name of the first one
// missing, or an empty view when all were found.
template <typename Bind>
std::string_view BindAll(TCodecLibrary lib, Bind&& bind) {
#define FENNICK_BIND(name) \
  if (!bind(#name, reinterpret_cast<void**>(&AVL.name))) return #name;
  switch (lib) {
    case TCodecLibrary::Codec: FENNICK_AVCODEC_FUNCTIONS(FENNICK_BIND) break;
    case TCodecLibrary::Container: FENNICK_AVFORMAT_FUNCTIONS(FENNICK_BIND) break;
    case TCodecLibrary::Utility: FENNICK_AVUTIL_FUNCTIONS(FENNICK_BIND) break;
    case TCodecLibrary::Scaler: FENNICK_SWSCALE_FUNCTIONS(FENNICK_BIND) break;
    case TCodecLibrary::Resampler: FENNICK_SWRESAMPLE_FUNCTIONS(FENNICK_BIND) break;
  }
#undef FENNICK_BIND
  return {};
}

void ClearEntries(TCodecLibrary lib) {
  BindAll(lib, [](const char*, void** slot) {
    *slot = nullptr;
    return true;
  });
}

// The folder's file of a library, or "" when the folder has none. Any entry
// of that name, even a dangling link, is the one meant.
std::string FolderFile(const std::string& folder, const std::string& name) {
  if (folder.empty()) return "";
  std::error_code ec;
  const auto candidate = std::filesystem::path(folder) / name;
  if (std::filesystem::symlink_status(candidate, ec).type() == std::filesystem::file_type::not_found) return "";
  return candidate.string();
}

// The libraries need each other (libavcodec needs libavutil and
// libswresample, libavformat needs libavcodec ...), and the system's search
// finds those dependencies in the system's folders, not in ours: a folder's
// libavutil loaded after its libavcodec would be a second copy beside the
// system's, the one libavcodec uses. Opening the folder's files with the
// dependencies first lets every later one find its dependencies loaded, by
// their soname. A file that fails here is reported by the load proper.
void OpenFolderFilesInDependencyOrder(const std::string& folder, bool versioned) {
  static constexpr TCodecLibrary kDependencyOrder[] = {TCodecLibrary::Utility, TCodecLibrary::Resampler,
                                                       TCodecLibrary::Scaler, TCodecLibrary::Codec,
                                                       TCodecLibrary::Container};
  for (TCodecLibrary id : kDependencyOrder) {
    LibraryState& lib = Libraries()[static_cast<size_t>(id)];
    if (lib.handle) continue;
    const std::string path = FolderFile(folder, LibraryFileName(id, versioned));
    if (!path.empty()) lib.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  dlerror();
}

bool LoadOne(LibraryState& lib, const std::string& folder, bool versioned) {
  if (lib.handle && lib.bound) return true;
  const std::string name = LibraryFileName(lib.id, versioned);
  if (!lib.handle) {
    const std::string inFolder = FolderFile(folder, name);
    const std::string path = inFolder.empty() ? name : inFolder;
    dlerror();
    lib.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib.handle) {
      const char* why = dlerror();
      lib.error = "Load libraray " + name + " error: " + (why ? why : "unknown error");
      return false;
    }
  }
  void* handle = lib.handle;
  std::string why;
  const std::string_view missing = BindAll(lib.id, [&](const char* fn, void** slot) {
    dlerror();
    *slot = dlsym(handle, fn);
    if (*slot) return true;
    const char* e = dlerror();
    why = e ? e : "symbol not found";
    return false;
  });
  if (!missing.empty()) {
    lib.error = "Load function " + std::string(missing) + "@" + name + " error: " + why;
    return false;
  }
  lib.bound = true;
  lib.error.clear();
  return true;
}

void UnloadOne(LibraryState& lib) {
  ClearEntries(lib.id);
  if (lib.handle) dlclose(lib.handle);
  lib.handle = nullptr;
  lib.bound = false;
}

}  // namespace

void AppendToSearchPath(const std::string& folder) {
  const char* env = std::getenv("PATH");
  const std::string path = env ? env : "";
  if (Upper(path).find(Upper(folder)) != std::string::npos) return;
  const std::string extended = path.empty() ? folder : path + ":" + folder;
  setenv("PATH", extended.c_str(), 1);
}

std::string LibraryFileName(TCodecLibrary lib, bool versioned) {
  const auto& state = Libraries()[static_cast<size_t>(lib)];
  std::string name = std::string("lib") + state.stem + ".so";
  if (versioned) name += "." + std::to_string(state.major);
  return name;
}

bool LoadLibraries(const std::string& folder, bool versioned) {
  if (g_loaded) return true;
  g_error.clear();

  std::error_code ec;
  std::filesystem::path saved_cwd;
  const bool switch_folder = !folder.empty();
  if (switch_folder) {
    saved_cwd = std::filesystem::current_path(ec);
    std::filesystem::current_path(folder, ec);
    AppendToSearchPath(folder);
  }

  if (!folder.empty()) OpenFolderFilesInDependencyOrder(folder, versioned);
  bool ok = true;
  for (auto& lib : Libraries()) {
    if (!LoadOne(lib, folder, versioned)) {
      g_error = lib.error;
      ok = false;
      break;
    }
  }
  if (switch_folder && !saved_cwd.empty()) std::filesystem::current_path(saved_cwd, ec);

  g_loaded = ok;
  if (!ok) UnloadLibraries();
  return ok;
}

void UnloadLibraries() {
  for (auto& lib : Libraries()) UnloadOne(lib);
  g_loaded = false;
}

bool LibrariesLoaded() { return g_loaded; }

bool LibraryBound(TCodecLibrary lib) { return Libraries()[static_cast<size_t>(lib)].bound; }

std::string LibraryLoadError() { return g_error; }

}  // namespace fennick
