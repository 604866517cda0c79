#include "app/cli/CliOptions.h"

#include <cstdlib>
#include <set>

#include "platform/Ipv4.h"

namespace korven::cli {
namespace {

bool isAddress(const std::string& text) {
  return parseIpv4(text).has_value();
}

std::optional<int> wholeNumber(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const long n = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || n < -1'000'000 || n > 1'000'000) return std::nullopt;
  return static_cast<int>(n);
}

std::vector<std::string> splitCommas(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  for (std::size_t comma; (comma = text.find(',', at)) != std::string::npos; at = comma + 1) {
    parts.push_back(text.substr(at, comma - at));
  }
  parts.push_back(text.substr(at));
  return parts;
}

const std::set<std::string> kModes = {"go-boot", "go-term", "active", "passive", "show-mac"};

}  // namespace

const char* cliUsage() {
  return R"(Usage: korven-cli COMMAND [OPTION]...

The firmware loader without its window: the same discovery, mode commands and
update stream, driven from the command line. It works in the current folder
(images, reports) and never reads or writes TCP_BRD.CFG.

Commands:
  discover [--wait SECONDS] [--json]
      Sends the discovery query and lists every terminal that answered within
      the wait: its number and address.
  update IMAGE [--terminal ADDRESS | --all [--from N] [--to M]
               | --terminals ADDRESS,ADDRESS... | --retry REPORT]
               [--delay MS] [--go-boot on|off] [--wait SECONDS]
               [--report FILE] [--json]
      Sends IMAGE (a *.BIN name in the current folder, or a path) exactly as
      the window does: to one terminal (--terminal), or in all-terminals mode
      to every terminal that answered within the wait (--all, the default),
      in the range From to To, or to the terminals given (--terminals), or to
      those whose outcome in REPORT was not clean (--retry), all in one batch.
      A report of every terminal is written into reports/ (or FILE); --json
      prints it on stdout as well.
  mode go-boot|go-term|active|passive|show-mac [--terminal ADDRESS | --all]
      Sends the mode frame ten times, as the window's buttons do, to one
      terminal or by broadcast to all (the default).

Options:
  --wait SECONDS   how long terminals may take to answer and connect (default 3)
  --delay MS       extra milliseconds per block (the window's delay box)
  --go-boot on|off the GO BOOT switch (default on)
  --report FILE    the report's file (default reports/DATE_TIME_IMAGE.csv)
  --json           machine-readable output on stdout
  --help, --version

Exit status: 0 every terminal of the update streamed and none replied CHKERR
or FULL; 1 some did not, or the report could not be written; 2 bad usage, or
the update was refused (the message on stderr); 3 no terminal found, or the
single terminal not connected within the wait.
Progress goes to stderr.
)";
}

std::optional<CliOptions> parseCli(const std::vector<std::string>& args, std::string& error) {
  CliOptions o;
  if (args.empty()) {
    error = "no command (discover, update, mode; --help)";
    return std::nullopt;
  }
  std::size_t i = 0;
  const std::string& command = args[i++];
  if (command == "--help" || command == "-h") return o;
  if (command == "--version") {
    o.command = CliOptions::Command::Version;
    return o;
  }
  if (command == "discover") {
    o.command = CliOptions::Command::Discover;
  } else if (command == "update" || command == "mode") {
    o.command = command == "update" ? CliOptions::Command::Update : CliOptions::Command::Mode;
    if (i >= args.size() || args[i].rfind("--", 0) == 0) {
      error = command == "update" ? "update: which IMAGE?" : "mode: which mode?";
      return std::nullopt;
    }
    (command == "update" ? o.image : o.modeName) = args[i++];
    if (o.command == CliOptions::Command::Mode && kModes.count(o.modeName) == 0) {
      error =
          "mode: unknown mode '" + o.modeName + "' (go-boot, go-term, active, passive, show-mac)";
      return std::nullopt;
    }
  } else {
    error = "unknown command '" + command + "' (discover, update, mode; --help)";
    return std::nullopt;
  }

  int targets = 0;
  bool range = false;
  const bool update = o.command == CliOptions::Command::Update;
  const bool mode = o.command == CliOptions::Command::Mode;
  while (i < args.size()) {
    const std::string& option = args[i++];
    if (option == "--help") {
      o.command = CliOptions::Command::Help;
      return o;
    }
    if (option == "--json" && !mode) {
      o.json = true;
      continue;
    }
    if (option == "--all" && (update || mode)) {
      o.target = CliOptions::Target::Found;
      ++targets;
      continue;
    }
    if (i >= args.size()) {
      error = option + ": a value is missing, or the option is unknown (--help)";
      return std::nullopt;
    }
    const std::string& value = args[i++];
    if (option == "--wait" && !mode) {
      char* end = nullptr;
      o.waitSeconds = std::strtod(value.c_str(), &end);
      if (*end != '\0' || !(o.waitSeconds > 0 && o.waitSeconds <= 3600)) {
        error = "--wait: seconds from more than 0 to 3600, not '" + value + "'";
        return std::nullopt;
      }
    } else if (option == "--terminal" && (update || mode)) {
      if (!isAddress(value)) {
        error = "--terminal: not an address: '" + value + "'";
        return std::nullopt;
      }
      o.target = CliOptions::Target::Single;
      o.terminal = value;
      ++targets;
    } else if (option == "--terminals" && update) {
      o.terminals = splitCommas(value);
      for (const std::string& address : o.terminals) {
        if (!isAddress(address)) {
          error = "--terminals: not an address: '" + address + "'";
          return std::nullopt;
        }
      }
      o.target = CliOptions::Target::Given;
      ++targets;
    } else if (option == "--retry" && update) {
      o.retryReport = value;
      o.target = CliOptions::Target::Given;
      ++targets;
    } else if ((option == "--from" || option == "--to") && update) {
      const auto n = wholeNumber(value);
      if (!n || *n < 0 || *n > 32767) {
        error = option;
        error += ": a terminal number from 0 to 32767, not '" + value + "'";
        return std::nullopt;
      }
      (option == "--from" ? o.from : o.to) = *n;
      range = true;
    } else if (option == "--delay" && update) {
      if (!wholeNumber(value)) {
        error = "--delay: milliseconds, not '" + value + "'";
        return std::nullopt;
      }
      o.delay = value;
    } else if (option == "--go-boot" && update) {
      if (value != "on" && value != "off") {
        error = "--go-boot: on or off, not '" + value + "'";
        return std::nullopt;
      }
      o.goBoot = value == "on";
    } else if (option == "--report" && update) {
      o.reportFile = value;
    } else {
      error = "unknown option '" + option + "' for ";
      error += command + " (--help)";
      return std::nullopt;
    }
  }
  if (targets > 1) {
    error = "choose one of --terminal, --all, --terminals, --retry";
    return std::nullopt;
  }
  if (range && o.target != CliOptions::Target::Found) {
    error = "--from and --to go with --all";
    return std::nullopt;
  }
  return o;
}

}  // namespace korven::cli
