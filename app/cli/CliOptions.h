#pragma once

#include <QStringList>

#include <optional>
#include <string>
#include <vector>

#include "rollout/NightWindow.h"
#include "rollout/Waves.h"

namespace korven::cli {

// The command line of korven-cli.
struct CliOptions {
  enum class Command { Help, Version, Discover, Update, Mode, Interfaces, History };
  // Which terminals an update or a mode command is for.
  enum class Target { None, Single, All, Given, Retry };

  Command command = Command::Help;
  Target target = Target::None;
  std::string image;                   // update: a name in the current folder or a path
  std::string modeName;                // mode: go-boot, go-term, active, passive, show-mac
  std::string terminal;                // --terminal
  std::vector<std::string> terminals;  // --terminals
  std::string retryReport;             // --retry: the terminals come from this report
  std::optional<int> from;
  std::optional<int> to;
  std::optional<int> delayMs;  // typed into the delay box
  std::optional<bool> goBoot;
  double waitSeconds = 3;
  double verdictWaitSeconds = 10;
  double pauseBetweenWaves = 0;
  double retryPauseSeconds = 30;
  int retries = 0;  // update: failed terminals streamed again, up to this many times
  // update: every update ends before the window closes; outside it, the run
  // waits for it, or with windowNowOrNever ends at once.
  std::optional<NightWindow> window;
  std::string reportFile;
  std::vector<Share> waves;  // empty: one batch
  std::optional<Share> maxFailed;
  std::string sha256;  // the image must have this digest (lower-case hex); empty: any
  // The fleet's memory: its file (empty: history.sqlite in the current
  // folder), or none at all.
  std::string historyFile;
  // history: the terminals not current for the image (a file, or --sha256);
  // the words are reports to record with --import, else addresses.
  std::string imageFile;
  std::vector<std::string> words;
  // The interfaces broadcasts go out on; empty: every one that can.
  std::vector<std::string> interfaces;
  bool json = false;     // update, discover, mode: the outcome as one JSON object on stdout
  bool quiet = false;    // nothing on stderr but errors and the closing tally
  bool verbose = false;  // the window's start-up notice too
  bool dryRun = false;
  bool requireVerdict = false;  // a terminal that says nothing after its stream is not clean
  bool noHistory = false;
  bool skipCurrent = false;  // update: not the terminals whose latest record is current
  bool pending = false;
  bool import = false;
  bool windowNowOrNever = false;
};

// Parses the arguments after the program's name; on failure nullopt with
// one line in `error`.
std::optional<CliOptions> parseCli(const QStringList& arguments, std::string& error);

// The text of --help: the commands, targets, timing, output, the words of
// the progress, the exit status and examples, in 80 columns.
const char* cliUsage();

}  // namespace korven::cli
