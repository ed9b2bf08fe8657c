// Frame-hook modules ("vhook"): shared objects with the C entry points
// "Configure", "Process" and "Release" that process decoded pictures in place.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace fennick {

// The picture handed to "Process": four plane pointers and their line sizes.
struct THookPicture {
  uint8_t* Data[4];
  int LineSize[4];
};

extern "C" {
using THookConfigure = int (*)(void** context, int argc, char* argv[]);
using THookProcess = void (*)(void* context, THookPicture* picture, int pixelFormat, int width, int height,
                              int64_t pts);
using THookRelease = void (*)(void* context);
}

// One loaded module: its library handle and entry points, and the context
// "Configure" filled. Destruction calls "Release" and drops the handle; the
// library itself stays loaded for the process.
class THookModule {
 public:
  ~THookModule();
  THookModule(const THookModule&) = delete;
  THookModule& operator=(const THookModule&) = delete;

  // Loads the module named by args[0] and configures it with all the
  // arguments. Result codes: 0 success, -2 no argument or an entry point
  // missing, -1 the library could not be loaded, -12 no memory, -22 "Configure" failed.
  // Failures are logged through the codec library's log.
  static int Load(const std::vector<std::string>& args, std::unique_ptr<THookModule>& module);

  void Process(THookPicture& picture, int pixelFormat, int width, int height, int64_t pts) const {
    FProcess(FContext, &picture, pixelFormat, width, height, pts);
  }

 private:
  THookModule() = default;
  void* FLibrary = nullptr;
  THookConfigure FConfigure = nullptr;
  THookProcess FProcess = nullptr;
  THookRelease FRelease = nullptr;
  void* FContext = nullptr;
  std::vector<std::string> FArgs;
  std::vector<char*> FArgv;
};

}  // namespace fennick
