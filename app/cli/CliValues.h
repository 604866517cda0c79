#pragma once

#include <QCommandLineParser>

#include <string>

#include "app/cli/CliOptions.h"

namespace korven::cli {

// The option values of a parsed command line checked one by one into `o`;
// false with the first problem in `error`, one line as korven-cli says it.
bool readValues(const QCommandLineParser& p, CliOptions& o, std::string& error);
// Which terminals: exactly one target where the command needs one.
bool readTarget(const QCommandLineParser& p, CliOptions& o, std::string& error);

}  // namespace korven::cli
