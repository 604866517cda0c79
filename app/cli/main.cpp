// korven-cli: the firmware loader's engine without its window.
#include <QCoreApplication>

#include <cstdio>

#include "app/cli/Commands.h"
#include "platform/system/OpenFileLimit.h"
#include "window/ProgPrin.h"

int main(int argc, char** argv) {
  using namespace korven::cli;
  std::string error;
  const auto options = parseCli(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!options) {
    std::fprintf(stderr, "korven-cli: %s\n", error.c_str());
    return kRefused;
  }
  switch (options->command) {
    case CliOptions::Command::Help:
      std::fputs(cliUsage(), stdout);
      return kClean;
    case CliOptions::Command::Version:
      std::printf("korven-cli %s\n", korven::kProgramVersion);
      return kClean;
    default:
      break;
  }
  // One connection per terminal of a batch needs many descriptors.
  korven::raiseOpenFileLimit();
  QCoreApplication application(argc, argv);
  switch (options->command) {
    case CliOptions::Command::Discover:
      return discover(*options);
    case CliOptions::Command::Update:
      return update(*options);
    default:
      return mode(*options);
  }
}
