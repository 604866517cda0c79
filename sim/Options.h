#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/StreamCheck.h"
#include "sim/Terminal.h"

// The command line of korven-sim.
namespace korven::sim {

struct SimOptions {
  int count = 8;
  std::uint32_t first = (127u << 24) | 2;  // 127.0.0.2
  std::optional<std::string> imagePath;
  std::optional<std::string> reportPath;
  TimeUs replySpacing = 200;
  int answers = 1;
  TimeUs pace = 100'000;
  bool goBoot = true;
  BootStyle boot = BootStyle::Bytes;
  TimeUs earlyTolerance = 2'000;
  TimeUs lateTolerance = 100'000;
  std::optional<TimeUs> waitLateTolerance;  // none: the late tolerance
  // Per terminal, in address order; filled from --fault and --status.
  std::vector<TerminalConfig> terminals;
  // Reads no commands: runs until SIGINT or SIGTERM whatever its standard
  // input is (a terminal it would be stopped for reading in the background).
  bool untilSignal = false;
  bool help = false;
  bool version = false;
};

// Parses argv[1..]; on failure returns nullopt with one line in error.
std::optional<SimOptions> parseOptions(const std::vector<std::string>& args, std::string& error);

// The expectations every terminal judges a stream by, without the image.
Expectations expectationsFrom(const SimOptions& options);

// A terminal named by its address or its number counted from 0 (the first
// address is 0); the index into the terminal list, or nullopt when it names
// none of them.
std::optional<std::size_t> terminalIndex(const std::string& name, std::uint32_t first, int count);

// "there are 8, 0 to 7: 127.0.0.2 to 127.0.0.9", for a message that names
// no terminal.
std::string terminalsText(std::uint32_t first, int count);

// Applies one fault, "KIND" or "KIND:ARG" as --fault takes it after the
// terminal; false with one line in error when it names none.
bool applyFault(Faults& faults, const std::string& kindAndArg, std::string& error);

const char* usageText();

}  // namespace korven::sim
