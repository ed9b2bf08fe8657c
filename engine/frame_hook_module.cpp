// Loading and release of frame-hook modules.
#include "engine/frame_hook_module.h"

#include <dlfcn.h>

#include <new>

#include "codec_library/codec_library.h"

namespace fennick {

namespace {

void LibraryLog(const std::string& text) {
  if (LibrariesLoaded() && AVL.av_log) AVL.av_log(nullptr, AV_LOG_ERROR, "%s", text.c_str());
}

}  // namespace

THookModule::~THookModule() {
  if (FRelease) FRelease(FContext);
  if (FLibrary) dlclose(FLibrary);
}

int THookModule::Load(const std::vector<std::string>& args, std::unique_ptr<THookModule>& module) {
  if (args.empty()) return -2;
  const std::string& fileName = args[0];
  // RTLD_NODELETE keeps the library loaded for the process once a module
  // used it, even after every engine dropped its handle.
  void* library = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (!library) {
    const char* error = dlerror();
    LibraryLog(std::string(error ? error : "cannot load " + fileName) + "\n");
    return -1;
  }
  std::unique_ptr<THookModule> entry(new (std::nothrow) THookModule);
  if (!entry) {
    dlclose(library);
    return -12;
  }
  entry->FLibrary = library;
  entry->FConfigure = reinterpret_cast<THookConfigure>(dlsym(library, "Configure"));
  entry->FProcess = reinterpret_cast<THookProcess>(dlsym(library, "Process"));
  entry->FRelease = reinterpret_cast<THookRelease>(dlsym(library, "Release"));
  if (!entry->FProcess || (!entry->FConfigure && args.size() > 1)) {
    LibraryLog(std::string(entry->FProcess ? "Failed to find Configure entrypoint in "
                                           : "Failed to find Process entrypoint in ") +
               fileName + "\n");
    entry->FRelease = nullptr;  // never configured: nothing to release
    return -2;
  }
  if (entry->FConfigure) {
    // The module may keep pointers to its arguments: they live with the entry.
    try {
      entry->FArgs = args;
      for (auto& a : entry->FArgs) entry->FArgv.push_back(a.data());
      entry->FArgv.push_back(nullptr);
    } catch (const std::bad_alloc&) {
      entry->FRelease = nullptr;
      return -12;
    }
    if (entry->FConfigure(&entry->FContext, static_cast<int>(args.size()), entry->FArgv.data()) != 0) {
      LibraryLog("Failed to Configure " + fileName + "\n");
      entry->FRelease = nullptr;  // nothing was configured to release
      return -22;
    }
  }
  module = std::move(entry);
  return 0;
}

}  // namespace fennick
