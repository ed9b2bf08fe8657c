// fennick-bench: converts one file with the engine, synchronously.
// Usage: fennick-bench [--threads N] [--stage-threads on|off]
//                      [-name value]... -i input ([-name [value]]... output)...
// Options before "-i" apply to the input, those before an output to that
// output, in the engine's own vocabulary (names without the leading "-";
// switches such as "-vn" take no value). --threads sets the
// engine's codec threads (default 1, 0 = the libraries' choice),
// --stage-threads its stage threads (default: the engine's).
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "codec_library/codec_library.h"
#include "engine/FFmpeg.h"
#include "engine/option_vocabulary.h"

int main(int argc, char** argv) {
  using namespace fennick;
  int first = 1, codecThreads = 1, stageThreads = -1;
  while (first + 1 < argc && std::string(argv[first]).rfind("--", 0) == 0) {
    const std::string flag = argv[first], value = argv[first + 1];
    if (flag == "--threads")
      codecThreads = std::atoi(value.c_str());
    else if (flag == "--stage-threads")
      stageThreads = value == "on" ? 1 : 0;
    else
      break;
    first += 2;
  }
  if (argc - first < 3) {
    std::fprintf(stderr, "usage: %s [--threads N] [--stage-threads on|off] [-name value]... -i input "
                 "([-name value]... output)...\n", argv[0]);
    return 2;
  }
  if (!LoadLibraries("", true)) {
    std::fprintf(stderr, "%s\n", LibraryLoadError().c_str());
    return 1;
  }
  TCustomFFmpeg engine;
  engine.Reset();
  engine.SetThreadCount(codecThreads);
  if (stageThreads >= 0) engine.SetStageThreads(stageThreads == 1);
  engine.OnLog = [](TCustomFFmpeg&, int level, const std::string& text) {
    if (level < 1) std::fprintf(stderr, "%s\n", text.c_str());
  };
  bool inputAdded = false;
  int outputs = 0;
  try {
    int i = first;
    while (i < argc) {
      if (argv[i][0] != '-' && inputAdded) {
        if (!engine.AddOutputFile(argv[i])) {
          std::fprintf(stderr, "%s\n", engine.LastErrorText().c_str());
          return 1;
        }
        ++outputs;
        ++i;
        continue;
      }
      const std::string name = argv[i][0] == '-' ? argv[i] + 1 : argv[i];
      if (IsSwitchOption(name)) {
        engine.ApplyOption(name, "");
        ++i;
        continue;
      }
      if (i + 1 >= argc) break;
      const std::string value = argv[i + 1];
      i += 2;
      if (name == "i") {
        if (!engine.AddInputFile(value)) {
          std::fprintf(stderr, "%s\n", engine.LastErrorText().c_str());
          return 1;
        }
        inputAdded = true;
      } else {
        engine.ApplyOption(name, value);
      }
    }
    if (!inputAdded || outputs == 0 || i != argc) {
      std::fprintf(stderr, "an input (-i) and an output file after it are needed\n");
      return 2;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  engine.StartRun(false);
  if (engine.ExceptionRaised()) {
    std::fprintf(stderr, "%s\n", engine.TerminateMessage().c_str());
    return 1;
  }
  return engine.Finished() ? 0 : 1;
}
