// korven-cli: the firmware loader's engine without its window.
#include <QCoreApplication>

#include <cstdio>

#include "app/cli/Commands.h"
#include "app/cli/Output.h"
#include "platform/system/OpenFileLimit.h"
#include "window/ProgPrin.h"

int main(int argc, char** argv) {
  using namespace korven::cli;
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  // Known before the options are read: a usage error is JSON too.
  setJsonErrors(arguments.contains("--json"));
  std::string error;
  const auto options = parseCli(arguments, error);
  if (!options) return fail(kRefused, error);
  setVerbosity(options->quiet     ? Verbosity::Quiet
               : options->verbose ? Verbosity::Verbose
                                  : Verbosity::Normal);
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
    case CliOptions::Command::Interfaces:
      return interfaces(*options);
    case CliOptions::Command::History:
      return history(*options);
    default:
      return mode(*options);
  }
}
