// The library log callback and the instance registry.
//
// Locks: the registry lock and the log list lock are leaves (held only
// briefly, never while another lock is taken or a component is called).
// A line is delivered to every registered component with no routing lock
// held; a delivery count on the registry entry keeps the component alive
// until the delivery has returned. A thread holding CodecLock delivers its
// lines only after releasing it (see RunOutsideCodecLock).
#include "component/log_routing.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <vector>

#include "component/FFmpegVCL.h"
#include "codec_library/codec_library.h"
#include "engine/FFmpeg.h"

namespace fennick {

struct TLogRouting {
  static void Deliver(TCustomFFmpegVCL& component, uint32_t threadId, int level, const std::string& line) {
    component.LibraryLogLine(threadId, level, line);
  }
};

namespace {

struct TRegistryEntry {
  TCustomFFmpegVCL* Component = nullptr;
  int Deliveries = 0;  // guarded by the registry lock
};

struct TRegistry {
  std::mutex Lock;
  std::condition_variable Idle;
  std::vector<std::shared_ptr<TRegistryEntry>> Entries;  // registration order
};

// Never destroyed: worker threads may still log while the process exits.
TRegistry& Registry() {
  static TRegistry* registry = new TRegistry;
  return *registry;
}

std::atomic<int> g_Threshold{AV_LOG_INFO};

using TSnapshot = std::vector<std::shared_ptr<TRegistryEntry>>;

TSnapshot AcquireComponents() {
  auto& reg = Registry();
  std::lock_guard<std::mutex> lock(reg.Lock);
  for (auto& entry : reg.Entries) ++entry->Deliveries;
  return reg.Entries;
}

void ReleaseComponents(const TSnapshot& snapshot) {
  auto& reg = Registry();
  {
    std::lock_guard<std::mutex> lock(reg.Lock);
    for (auto& entry : snapshot) --entry->Deliveries;
  }
  reg.Idle.notify_all();
}

}  // namespace

TLogItem& TLogList::ItemFor(uint32_t threadId) {
  if (FFirst.ThreadId == 0 || FFirst.ThreadId == threadId) {
    FFirst.ThreadId = threadId;
    return FFirst;
  }
  for (TLogItem* item = FChain.get(); item; item = item->Next.get())
    if (item->ThreadId == threadId) return *item;
  auto item = std::make_unique<TLogItem>();
  item->ThreadId = threadId;
  item->Next = std::move(FChain);
  FChain = std::move(item);
  return *FChain;
}

void TLogList::Clear() {
  std::unique_ptr<TLogItem> chain;
  {
    std::lock_guard<std::mutex> lock(FLock);
    FFirst.ThreadId = 0;
    FFirst.Pending.clear();
    chain = std::move(FChain);
  }
  // Unlinked one by one: a long chain must not recurse in the destructors.
  while (chain) chain = std::move(chain->Next);
}

size_t TLogList::ItemCount() {
  std::lock_guard<std::mutex> lock(FLock);
  size_t n = FFirst.ThreadId != 0 ? 1 : 0;
  for (TLogItem* item = FChain.get(); item; item = item->Next.get()) ++n;
  return n;
}

TLogList& LogBuffers() {
  static TLogList* list = new TLogList;
  return *list;
}

void RegisterComponent(TCustomFFmpegVCL& component) {
  auto& reg = Registry();
  auto entry = std::make_shared<TRegistryEntry>();
  entry->Component = &component;
  std::lock_guard<std::mutex> lock(reg.Lock);
  reg.Entries.push_back(std::move(entry));
}

void UnregisterComponent(TCustomFFmpegVCL& component) {
  auto& reg = Registry();
  std::unique_lock<std::mutex> lock(reg.Lock);
  auto it = std::find_if(reg.Entries.begin(), reg.Entries.end(),
                         [&](const auto& e) { return e->Component == &component; });
  if (it == reg.Entries.end()) return;
  const std::shared_ptr<TRegistryEntry> entry = *it;
  reg.Entries.erase(it);
  reg.Idle.wait(lock, [&] { return entry->Deliveries == 0; });
}

size_t RegisteredComponentCount() {
  auto& reg = Registry();
  std::lock_guard<std::mutex> lock(reg.Lock);
  return reg.Entries.size();
}

void RefreshLogThreshold() {
  if (LibrariesLoaded()) g_Threshold = AVL.av_log_get_level();
}

int LogThreshold() { return g_Threshold; }

void InstallLibraryLogCallback() {
  if (LibrariesLoaded()) AVL.av_log_set_callback(&LibraryLogCallback);
}

std::string BuildLogText(const std::string& pending, void* context, const char* format, va_list args, bool& cut) {
  char buffer[kLogLineBufferSize] = {};
  const size_t capacity = sizeof buffer - 1;  // the last byte stays 0
  size_t length = 0;
  cut = false;
  auto append = [&](const char* text, size_t n) {
    const size_t room = capacity - length;
    if (n > room) {
      n = room;
      cut = true;
    }
    std::memcpy(buffer + length, text, n);
    length += n;
  };

  const AVClass* avClass = context ? *static_cast<const AVClass* const*>(context) : nullptr;
  if (!pending.empty() || !avClass) {
    append(pending.data(), pending.size());
  } else {
    const char* name = avClass->item_name ? avClass->item_name(context) : avClass->class_name;
    if (!name) name = "";
    char address[2 + 2 * sizeof(uintptr_t) + 1];
    std::snprintf(address, sizeof address, "%08" PRIXPTR, reinterpret_cast<uintptr_t>(avClass));
    append("[", 1);
    append(name, std::strlen(name));
    append(" @ ", 3);
    append(address, std::strlen(address));
    append("]", 1);
  }
  if (format) {
    const size_t room = sizeof buffer - length;  // vsnprintf writes its own terminator
    const int n = std::vsnprintf(buffer + length, room, format, args);
    if (n > 0) {
      if (static_cast<size_t>(n) >= room) {
        cut = true;
        length = capacity;
      } else {
        length += static_cast<size_t>(n);
      }
    }
  }
  return std::string(buffer, length);
}

void LibraryLogCallback(void* context, int level, const char* format, va_list args) {
  if (level >= 0) level &= 0xff;  // higher bits may carry a colour
  if (level > g_Threshold) return;
  const auto threadId = static_cast<uint32_t>(gettid());
  auto& buffers = LogBuffers();
  std::string pending;
  {
    std::lock_guard<std::mutex> lock(buffers.Lock());
    pending.swap(buffers.ItemFor(threadId).Pending);
  }
  bool cut = false;
  std::string text = BuildLogText(pending, context, format, args, cut);
  // A message cut at the buffer's end ends its line there.
  if (cut && (text.empty() || text.back() != '\n')) text += '\n';

  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t lf; (lf = text.find('\n', start)) != std::string::npos; start = lf + 1)
    lines.push_back(text.substr(start, lf - start));
  {
    std::lock_guard<std::mutex> lock(buffers.Lock());
    buffers.ItemFor(threadId).Pending.assign(text, start, std::string::npos);
  }
  if (lines.empty()) return;
  // Delivering takes the components' locks: never while this thread holds
  // CodecLock, which a thread holding a component's lock may be waiting for.
  RunOutsideCodecLock([threadId, engineLevel = EngineLogLevel(level), lines = std::move(lines)] {
    const TSnapshot components = AcquireComponents();
    for (const std::string& line : lines) {
      for (const auto& entry : components) {
        try {
          TLogRouting::Deliver(*entry->Component, threadId, engineLevel, line);
        } catch (...) {
          // A handler's exception must not unwind through the libraries.
        }
      }
    }
    ReleaseComponents(components);
  });
}

}  // namespace fennick
