// Routing of the codec libraries' log output to the components: the library
// log callback, one pending partial line per thread, and the registry of live
// components. Process-wide.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace fennick {

class TCustomFFmpegVCL;

// A line is built in a buffer of this size; longer text is cut at its end.
constexpr size_t kLogLineBufferSize = 2048;

// The partial line (text after the last line feed) of one thread.
struct TLogItem {
  uint32_t ThreadId = 0;  // 0: free
  std::string Pending;
  std::unique_ptr<TLogItem> Next;
};

// One item in place, the others chained in front of each other.
class TLogList {
 public:
  // The item of `threadId`: the in-place one when free or already its own,
  // else its chained item, else a new one at the head of the chain.
  // The caller holds Lock().
  TLogItem& ItemFor(uint32_t threadId);
  void Clear();  // takes Lock() itself
  std::mutex& Lock() { return FLock; }
  size_t ItemCount();  // takes Lock() itself

 private:
  std::mutex FLock;  // a leaf: nothing else is locked while it is held
  TLogItem FFirst;
  std::unique_ptr<TLogItem> FChain;
};

TLogList& LogBuffers();

// The instance registry. Unregistering waits until no library line is being
// delivered to the component.
void RegisterComponent(TCustomFFmpegVCL& component);
void UnregisterComponent(TCustomFFmpegVCL& component);
size_t RegisteredComponentCount();

// Installs the library log callback.
void InstallLibraryLogCallback();
// The library's current log level, read back into the threshold. Called
// whenever the component or an engine (its verbosity notification) changes
// that level.
void RefreshLogThreshold();
int LogThreshold();

// The callback the libraries call (also callable directly by tests).
void LibraryLogCallback(void* context, int level, const char* format, va_list args);

// Builds the text of one callback call the way the callback does: pending
// text, or the "[name @ ADDRESS]" prefix of the context at a line start, then
// the formatted message, all within kLogLineBufferSize bytes. `cut` tells
// whether something did not fit.
std::string BuildLogText(const std::string& pending, void* context, const char* format, va_list args, bool& cut);

}  // namespace fennick
