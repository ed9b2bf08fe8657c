// fennick-convert: the command-line front end. Converts files with the
// window's profiles and job builder, probes files, or drives the engine with
// its own option vocabulary.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/interrupt.h"
#include "cli/stream_output.h"

int main(int argc, char** argv) {
  using namespace fennick::cli;
  // A reader that leaves (the end of "| head -1") never ends a conversion.
  IgnoreBrokenPipes();
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    const TCliArguments arguments = ParseArguments(args);
    InstallInterruptHandler();
    switch (arguments.Mode) {
      case TCliMode::Help:
        std::cout << HelpText();
        return ExitOk;
      case TCliMode::Version:
        std::cout << VersionText();
        return ExitOk;
      case TCliMode::ListFormats:
        return ListFormatsCommand();
      case TCliMode::ListShortNames:
        return ListShortNamesCommand();
      case TCliMode::ListSettings:
        return ListSettingsCommand(arguments);
      case TCliMode::Probe:
        return ProbeCommand(arguments);
      case TCliMode::Engine:
        return EngineCommand(arguments);
      case TCliMode::Convert:
        return ConvertCommand(arguments);
    }
  } catch (const EUsageError& e) {
    std::fprintf(stderr, "fennick-convert: %s\n", e.what());
    return ExitUsage;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "fennick-convert: %s\n", e.what());
    return ExitFailed;
  }
  return ExitFailed;
}
