#pragma once

#include <optional>
#include <string>
#include <vector>

namespace korven::cli {

// The command line of korven-cli.
struct CliOptions {
  enum class Command { Help, Version, Discover, Update, Mode };
  // Which terminals an update or a mode command is for.
  enum class Target { Found, Single, Given };

  Command command = Command::Help;
  std::string image;     // update: a name in the current folder or a path
  std::string modeName;  // mode: go-boot, go-term, active, passive, show-mac
  Target target = Target::Found;
  std::string terminal;                // --terminal
  std::vector<std::string> terminals;  // --terminals
  std::string retryReport;             // --retry: the terminals come from this report
  std::optional<int> from;
  std::optional<int> to;
  std::optional<std::string> delay;  // typed into the delay box as given
  std::optional<bool> goBoot;
  double waitSeconds = 3;
  std::string reportFile;
  bool json = false;
};

// Parses argv[1..]; on failure nullopt with one line in `error`.
std::optional<CliOptions> parseCli(const std::vector<std::string>& args, std::string& error);

// The text of --help, which the manual page is made from too.
const char* cliUsage();

}  // namespace korven::cli
