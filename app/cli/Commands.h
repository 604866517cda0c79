#pragma once

#include "app/cli/CliOptions.h"

namespace korven::cli {

// Exit codes of korven-cli.
inline constexpr int kClean = 0;       // every terminal streamed, none replied CHKERR or FULL
inline constexpr int kNotClean = 1;    // some did not, or the report could not be written
inline constexpr int kRefused = 2;     // bad usage, or the program refused
inline constexpr int kNoTerminal = 3;  // none found, or the single one not connected

int discover(const CliOptions& options);
int update(const CliOptions& options);
int mode(const CliOptions& options);

}  // namespace korven::cli
