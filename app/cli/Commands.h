#pragma once

#include "app/cli/CliOptions.h"

namespace korven::cli {

int discover(const CliOptions& options);
int update(const CliOptions& options);
int mode(const CliOptions& options);
int interfaces(const CliOptions& options);
int history(const CliOptions& options);

}  // namespace korven::cli
