#include "app/cli/CliOptions.h"

#include <QCommandLineParser>

#include <algorithm>
#include <map>
#include <set>

#include "platform/Ipv4.h"
#include "platform/system/NetworkInterfaces.h"

namespace korven::cli {
namespace {

const std::set<std::string> kModes = {"go-boot", "go-term", "active", "passive", "show-mac"};

// Which options each command takes.
const std::map<std::string, std::set<std::string>> kOptionsOf = {
    {"discover", {"wait", "json", "interface"}},
    {"interfaces", {}},
    {"update",
     {"terminal", "all", "terminals", "retry", "from", "to", "delay", "go-boot", "wait",
      "verdict-wait", "report", "json", "dry-run", "waves", "max-failed", "pause-between-waves",
      "interface"}},
    {"mode", {"terminal", "all", "interface"}},
};

std::optional<double> seconds(const QString& text, double min, double max) {
  bool ok = false;
  const double value = text.toDouble(&ok);
  if (!ok || !(value >= min && value <= max)) return std::nullopt;
  return value;
}

// Digits only, as the window's boxes are meant to hold.
std::optional<int> digits(const QString& text, int max) {
  if (text.isEmpty() || text.size() > 6) return std::nullopt;
  for (const QChar c : text) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  const int value = text.toInt();
  return value <= max ? std::optional<int>(value) : std::nullopt;
}

// Checks the option values one by one; the first problem in `error`.
bool readValues(const QCommandLineParser& p, CliOptions& o, std::string& error) {
  const auto bad = [&](const char* option, const QString& value, const char* wanted) {
    error = std::string("--") + option + ": " + wanted + ", not '" + value.toStdString() + "'";
    return false;
  };
  if (p.isSet("wait")) {
    const auto s = seconds(p.value("wait"), 0.001, 3600);
    if (!s) return bad("wait", p.value("wait"), "seconds from more than 0 to 3600");
    o.waitSeconds = *s;
  }
  if (p.isSet("verdict-wait")) {
    const auto s = seconds(p.value("verdict-wait"), 0, 3600);
    if (!s) return bad("verdict-wait", p.value("verdict-wait"), "seconds from 0 to 3600");
    o.verdictWaitSeconds = *s;
  }
  for (const char* bound : {"from", "to"}) {
    if (!p.isSet(bound)) continue;
    const auto n = digits(p.value(bound), 32767);
    if (!n) return bad(bound, p.value(bound), "a terminal number from 0 to 32767");
    (std::string(bound) == "from" ? o.from : o.to) = *n;
  }
  if (p.isSet("delay")) {
    // The block pace is the delay plus 100 ms, and the send timer runs 65,535 ms at most.
    const auto n = digits(p.value("delay"), 65435);
    if (!n) return bad("delay", p.value("delay"), "whole milliseconds from 0 to 65435");
    o.delayMs = *n;
  }
  if (p.isSet("go-boot")) {
    const QString v = p.value("go-boot");
    if (v != "on" && v != "off") return bad("go-boot", v, "on or off");
    o.goBoot = v == "on";
  }
  if (p.isSet("terminal")) {
    o.terminal = p.value("terminal").toStdString();
    if (const auto problem = addressProblem(o.terminal)) {
      error = "--terminal " + o.terminal + ": " + *problem;
      return false;
    }
  }
  if (p.isSet("terminals")) {
    for (const QString& part : p.value("terminals").split(',')) {
      const std::string address = part.toStdString();
      if (const auto problem = addressProblem(address)) {
        error = "--terminals: '" + address + "': " + *problem;
        return false;
      }
      // A terminal given twice is updated once.
      if (std::find(o.terminals.begin(), o.terminals.end(), address) == o.terminals.end()) {
        o.terminals.push_back(address);
      }
    }
  }
  if (p.isSet("pause-between-waves")) {
    const auto s = seconds(p.value("pause-between-waves"), 0, 86400);
    if (!s)
      return bad("pause-between-waves", p.value("pause-between-waves"), "seconds from 0 to 86400");
    o.pauseBetweenWaves = *s;
  }
  if (p.isSet("waves")) {
    const auto sizes = parseWaveSizes(p.value("waves").toStdString());
    if (!sizes) return bad("waves", p.value("waves"), "counts or percentages such as 1,10%,50%");
    o.waves = *sizes;
  }
  if (p.isSet("max-failed")) {
    o.maxFailed = parseFailureLimit(p.value("max-failed").toStdString());
    if (!o.maxFailed)
      return bad("max-failed", p.value("max-failed"),
                 "a count such as 0 or a percentage such as 10%");
  }
  if ((o.maxFailed || p.isSet("pause-between-waves")) && o.waves.empty()) {
    error = std::string("--") + (o.maxFailed ? "max-failed" : "pause-between-waves") +
            " goes with --waves";
    return false;
  }
  if (p.isSet("interface")) {
    for (const QString& name : p.value("interface").split(',')) {
      o.interfaces.push_back(name.toStdString());
    }
    std::string problem;
    broadcastInterfaces(o.interfaces, &problem);
    if (!problem.empty()) {
      error = "--interface " + problem + " (korven-cli interfaces lists those that can broadcast)";
      return false;
    }
  }
  o.dryRun = p.isSet("dry-run");
  o.retryReport = p.value("retry").toStdString();
  o.reportFile = p.value("report").toStdString();
  o.json = p.isSet("json");
  return true;
}

bool readTarget(const QCommandLineParser& p, CliOptions& o, std::string& error) {
  const std::pair<const char*, CliOptions::Target> targets[] = {
      {"terminal", CliOptions::Target::Single},
      {"all", CliOptions::Target::All},
      {"terminals", CliOptions::Target::Given},
      {"retry", CliOptions::Target::Retry}};
  int given = 0;
  for (const auto& [name, target] : targets) {
    if (!p.isSet(name)) continue;
    o.target = target;
    ++given;
  }
  const bool update = o.command == CliOptions::Command::Update;
  const char* choices = update
                            ? "--terminal ADDRESS, --all, --terminals ADDRESS,... or --retry REPORT"
                            : "--terminal ADDRESS or --all";
  const bool targeted =
      o.command == CliOptions::Command::Update || o.command == CliOptions::Command::Mode;
  if (given != 1 && targeted) {
    error = std::string(given == 0 ? "which terminals? give " : "give only one of ") + choices;
    return false;
  }
  if ((o.from || o.to) && o.target != CliOptions::Target::All) {
    error = "--from and --to go with --all";
    return false;
  }
  if (o.from && o.to && *o.from > *o.to) {
    error = "--from " + std::to_string(*o.from) + " is after --to " + std::to_string(*o.to) +
            ": the range holds no terminal";
    return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> addressProblem(const std::string& text) {
  const auto address = parseIpv4(text);
  if (!address) return "not an IPv4 address such as 192.168.1.20";
  if ((*address >> 24) == 0) return "an unspecified address, not a terminal's";
  if (*address == 0xFFFFFFFFu) return "the broadcast address, not a terminal's";
  if ((*address >> 28) == 0xE) return "a multicast group, not a terminal's";
  for (const NetworkInterface& i : ipv4Interfaces()) {
    if (i.broadcast && *i.broadcast == *address) {
      return "the broadcast address of the network of " + i.name + ", not a terminal's";
    }
  }
  return std::nullopt;
}

std::optional<CliOptions> parseCli(const QStringList& arguments, std::string& error) {
  QCommandLineParser p;
  p.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
  // Names only: the help text is korven-cli's own.
  for (const char* name :
       {"wait", "verdict-wait", "terminal", "terminals", "retry", "from", "to", "delay", "go-boot",
        "report", "waves", "max-failed", "pause-between-waves", "interface"}) {
    p.addOption(QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("value")));
  }
  for (const char* name : {"all", "json", "dry-run", "help", "h", "version"}) {
    p.addOption(QCommandLineOption(QString::fromLatin1(name)));
  }
  CliOptions o;
  if (!p.parse(QStringList{"korven-cli"} + arguments)) {
    error = p.errorText().toStdString() + " (korven-cli --help)";
    return std::nullopt;
  }
  if (p.isSet("help") || p.isSet("h")) return o;
  if (p.isSet("version")) {
    o.command = CliOptions::Command::Version;
    return o;
  }
  const QStringList words = p.positionalArguments();
  if (words.isEmpty()) {
    error = "no command: discover, update, mode or interfaces (korven-cli --help)";
    return std::nullopt;
  }
  const std::string command = words[0].toStdString();
  const auto allowed = kOptionsOf.find(command);
  if (allowed == kOptionsOf.end()) {
    error = "unknown command '" + command +
            "': discover, update, mode or interfaces (korven-cli --help)";
    return std::nullopt;
  }
  o.command = command == "discover"     ? CliOptions::Command::Discover
              : command == "update"     ? CliOptions::Command::Update
              : command == "interfaces" ? CliOptions::Command::Interfaces
                                        : CliOptions::Command::Mode;
  const bool targeted =
      o.command == CliOptions::Command::Update || o.command == CliOptions::Command::Mode;
  const qsizetype wanted = targeted ? 2 : 1;
  if (words.size() < wanted) {
    error = command == "update" ? "update: which IMAGE?"
                                : "mode: which mode? go-boot, go-term, active, passive, show-mac";
    return std::nullopt;
  }
  if (words.size() > wanted) {
    error = command + ": unexpected '" + words[wanted].toStdString() + "' (korven-cli --help)";
    return std::nullopt;
  }
  if (o.command == CliOptions::Command::Update) o.image = words[1].toStdString();
  if (o.command == CliOptions::Command::Mode) {
    o.modeName = words[1].toStdString();
    if (kModes.count(o.modeName) == 0) {
      error =
          "mode: unknown mode '" + o.modeName + "': go-boot, go-term, active, passive, show-mac";
      return std::nullopt;
    }
  }
  for (const QString& name : p.optionNames()) {
    if (allowed->second.count(name.toStdString()) == 0) {
      error = "--" + name.toStdString() + " is no option of " + command + " (korven-cli --help)";
      return std::nullopt;
    }
  }
  if (!readValues(p, o, error) || !readTarget(p, o, error)) return std::nullopt;
  return o;
}

const char* cliUsage() {
  return R"(Usage: korven-cli COMMAND [OPTION]...

The firmware loader without its window: the same discovery, mode commands and
update stream, driven from the command line. It works in the current folder
(images, reports) and never reads or writes TCP_BRD.CFG.

Commands:
  discover [--wait SECONDS] [--json]
      Sends the discovery query and lists every terminal that answered within
      the wait: its number and address.
  update IMAGE TARGET [--delay MS] [--go-boot on|off] [--wait SECONDS]
               [--verdict-wait SECONDS] [--dry-run] [--waves SIZES
               [--max-failed N|P%] [--pause-between-waves SECONDS]]
               [--report FILE] [--json]
      Sends IMAGE (a *.BIN name in the current folder, or a path) exactly as
      the window does, to the terminals of TARGET, in one batch or in waves.
      A report of every terminal is written into reports/ (or FILE) from the
      start of the update on; --json prints it on stdout as well.
  mode go-boot|go-term|active|passive|show-mac TARGET
      Sends the mode frame ten times, as the window's buttons do, to one
      terminal or by broadcast to all.
  interfaces
      Lists the interfaces a broadcast goes out on (name, address, broadcast
      address): each that is up, can broadcast and is not loopback.

TARGET, one of them is required:
  --terminal ADDRESS         one terminal
  --all [--from N] [--to M]  every terminal that answered within the wait,
                             in all-terminals mode, numbers N to M
  --terminals ADDRESS,...    the terminals given (update)
  --retry REPORT             the terminals whose outcome in REPORT was not
                             clean (update)
  Replies from terminals not given are ignored; a broadcast, unspecified or
  multicast address is refused.

Options:
  --interface NAME[,NAME...]
                          broadcasts (the query, the frames to all terminals)
                          go out on these interfaces only (discover, update,
                          mode); by default on every one that can
  --wait SECONDS          how long terminals may take to answer and connect
                          (default 3)
  --verdict-wait SECONDS  after the streams, how long to wait for each
                          terminal's status on a new connection (default 10;
                          0: none)
  --dry-run               everything up to the first byte (discovery, the
                          connections, the image read and checked), then no
                          frame and no byte; the report says "planned"
  --waves SIZES           the terminals in waves, each one batch: counts or
                          percentages, the last repeated ("1,10%,50%")
  --max-failed N|P%       after a wave, no further wave starts when more than
                          N terminals (or P % of those updated) are not clean
                          (default 0); those never started are "held back"
  --pause-between-waves SECONDS
                          a pause after each wave (default 0)
  --delay MS              extra milliseconds per block (the window's delay box)
  --go-boot on|off        the GO BOOT switch (default on)
  --report FILE           the report's file (default reports/DATE_TIME_IMAGE.csv)
  --json                  machine-readable output on stdout
  --help, --version

Exit status: 0 every terminal of the update streamed and none replied CHKERR
or FULL in this update (a dry run: every one connected); 1 some did not, or
was held back, or the report could not be written;
2 bad usage, or the update was refused (the message on stderr); 3 no terminal
found, or the single terminal not connected within the wait.
Progress goes to stderr.
)";
}

}  // namespace korven::cli
