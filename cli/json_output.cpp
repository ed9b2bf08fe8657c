#include "cli/json_output.h"

#include <cstdio>
#include <mutex>

#include "cli/stream_output.h"

namespace fennick::cli {

void WriteJsonLine(const TJsonObject& object) {
  static std::mutex lock;
  const std::string line = object.Text() + "\n";
  std::lock_guard<std::mutex> guard(lock);
  WriteStream(stdout, line);
}

}  // namespace fennick::cli
