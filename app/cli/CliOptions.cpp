#include "app/cli/CliOptions.h"

#include <QCommandLineParser>

#include <algorithm>
#include <set>

#include "app/cli/Suggest.h"
#include "platform/system/NetworkInterfaces.h"
#include "platform/system/TerminalAddress.h"

namespace korven::cli {
namespace {

const std::vector<std::string> kModes = {"go-boot", "go-term", "active", "passive", "show-mac"};

// The commands, with the words after each and the options each takes. A
// command is one row here, one entry of CliOptions::Command, one line of
// the help text and one case in main.
struct CommandRow {
  const char* name;
  CliOptions::Command command;
  const char* words;  // what follows the command's name, for the messages
  std::set<std::string> options;
};
const CommandRow kCommands[] = {
    {"discover",
     CliOptions::Command::Discover,
     "",
     {"wait", "json", "interface", "quiet", "verbose"}},
    {"update", CliOptions::Command::Update, "IMAGE", {"terminal",   "all",
                                                      "terminals",  "retry",
                                                      "from",       "to",
                                                      "delay",      "go-boot",
                                                      "wait",       "verdict-wait",
                                                      "report",     "json",
                                                      "dry-run",    "waves",
                                                      "max-failed", "pause-between-waves",
                                                      "sha256",     "require-verdict",
                                                      "interface",  "quiet",
                                                      "verbose"}},
    {"mode",
     CliOptions::Command::Mode,
     "MODE",
     {"terminal", "all", "terminals", "json", "interface", "quiet", "verbose"}},
    {"interfaces", CliOptions::Command::Interfaces, "", {}},
};

// Options that take a value, with the value's name as the help shows it.
const std::pair<const char*, const char*> kValueOptions[] = {{"wait", "SECONDS"},
                                                             {"verdict-wait", "SECONDS"},
                                                             {"terminal", "ADDRESS"},
                                                             {"terminals", "ADDRESS,..."},
                                                             {"retry", "REPORT"},
                                                             {"from", "N"},
                                                             {"to", "M"},
                                                             {"delay", "MS"},
                                                             {"go-boot", "on|off"},
                                                             {"report", "FILE"},
                                                             {"waves", "SIZES"},
                                                             {"max-failed", "N|P%"},
                                                             {"pause-between-waves", "SECONDS"},
                                                             {"sha256", "HEX"},
                                                             {"interface", "NAME,..."}};
const char* const kFlags[] = {"all",     "json", "dry-run", "require-verdict", "quiet",
                              "verbose", "help", "h",       "version"};

std::vector<std::string> commandNames() {
  std::vector<std::string> names;
  for (const CommandRow& row : kCommands) names.emplace_back(row.name);
  return names;
}

std::vector<std::string> optionNames(const std::set<std::string>* of = nullptr) {
  std::vector<std::string> names;
  for (const auto& [name, value] : kValueOptions) {
    if (of == nullptr || of->count(name) != 0) names.emplace_back(name);
  }
  for (const char* name : kFlags) {
    if (std::string(name).size() > 1 && (of == nullptr || of->count(name) != 0)) {
      names.emplace_back(name);
    }
  }
  return names;
}

// "a, b or c"
std::string alternatives(const std::vector<std::string>& words, const char* prefix = "",
                         const char* last = " or ") {
  std::string text;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i > 0) text += i + 1 == words.size() ? last : ", ";
    text += prefix + words[i];
  }
  return text;
}

// What to do about a word that is none of `known`: the near miss, or the list.
std::string didYouMean(const std::string& typed, const std::vector<std::string>& known,
                       const char* prefix, const char* what) {
  if (const auto near = nearMiss(typed, known))
    return std::string("did you mean ") + prefix + *near + "?";
  return std::string("give ") + alternatives(known, prefix) + " (" + what + ")";
}

const CommandRow* commandRow(const std::string& name) {
  for (const CommandRow& row : kCommands) {
    if (name == row.name) return &row;
  }
  return nullptr;
}

// The message for arguments QCommandLineParser refused.
std::string parseProblem(const QCommandLineParser& p, const QStringList& arguments) {
  const QStringList unknown = p.unknownOptionNames();
  if (!unknown.isEmpty()) {
    const std::string name = unknown.first().toStdString();
    // The command, when one was given before the mistake, narrows the choice.
    const CommandRow* row = nullptr;
    for (const QString& a : arguments) {
      if (!a.startsWith('-')) {
        row = commandRow(a.toStdString());
        break;
      }
    }
    const std::string dashes = name.size() == 1 ? "-" : "--";
    std::optional<std::string> near;
    if (row != nullptr) near = nearMiss(name, optionNames(&row->options));
    if (!near) near = nearMiss(name, optionNames());
    return "unknown option " + dashes + name + "; " +
           (near ? "did you mean --" + *near + "?" : "korven-cli --help lists the options");
  }
  if (!arguments.isEmpty()) {
    const std::string last = arguments.last().toStdString();
    for (const auto& [name, value] : kValueOptions) {
      if (last.size() > 2 && last.compare(0, 2, "--") == 0 && last.substr(2) == name) {
        std::string problem = last + " needs a value; give it as ";
        problem += last;
        problem += " ";
        return problem + value;
      }
    }
  }
  return p.errorText().toStdString() + "; korven-cli --help shows the usage";
}

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
  const auto bad = [&](const char* option, const QString& value, const char* wanted,
                       const char* example) {
    error = std::string("--") + option + " '" + value.toStdString() + "': not " + wanted +
            "; give e.g. --" + option + " " + example;
    return false;
  };
  if (p.isSet("wait")) {
    const auto s = seconds(p.value("wait"), 0.001, 3600);
    if (!s) return bad("wait", p.value("wait"), "seconds from more than 0 to 3600", "5");
    o.waitSeconds = *s;
  }
  if (p.isSet("verdict-wait")) {
    const auto s = seconds(p.value("verdict-wait"), 0, 3600);
    if (!s) return bad("verdict-wait", p.value("verdict-wait"), "seconds from 0 to 3600", "10");
    o.verdictWaitSeconds = *s;
  }
  for (const char* bound : {"from", "to"}) {
    if (!p.isSet(bound)) continue;
    const auto n = digits(p.value(bound), 32767);
    if (!n)
      return bad(bound, p.value(bound), "a terminal number from 0 to 32767",
                 std::string(bound) == "from" ? "0" : "99");
    (std::string(bound) == "from" ? o.from : o.to) = *n;
  }
  if (p.isSet("delay")) {
    // The block pace is the delay plus 100 ms, and the send timer runs 65,535 ms at most.
    const auto n = digits(p.value("delay"), 65435);
    if (!n) return bad("delay", p.value("delay"), "whole milliseconds from 0 to 65435", "200");
    o.delayMs = *n;
  }
  if (p.isSet("go-boot")) {
    const QString v = p.value("go-boot");
    if (v != "on" && v != "off") return bad("go-boot", v, "on or off", "off");
    o.goBoot = v == "on";
  }
  if (p.isSet("terminal")) {
    o.terminal = p.value("terminal").toStdString();
    if (const auto problem = terminalAddressProblem(o.terminal)) {
      error = "--terminal " + o.terminal + ": " + *problem + "; give the terminal's own address";
      return false;
    }
  }
  if (p.isSet("terminals")) {
    for (const QString& part : p.value("terminals").split(',')) {
      const std::string address = part.toStdString();
      if (const auto problem = terminalAddressProblem(address)) {
        error =
            "--terminals: '" + address + "': " + *problem + "; give the terminals' own addresses";
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
      return bad("pause-between-waves", p.value("pause-between-waves"), "seconds from 0 to 86400",
                 "60");
    o.pauseBetweenWaves = *s;
  }
  if (p.isSet("waves")) {
    const auto sizes = parseWaveSizes(p.value("waves").toStdString());
    if (!sizes) return bad("waves", p.value("waves"), "counts or percentages", "1,10%,100%");
    o.waves = *sizes;
  }
  if (p.isSet("max-failed")) {
    o.maxFailed = parseFailureLimit(p.value("max-failed").toStdString());
    if (!o.maxFailed)
      return bad("max-failed", p.value("max-failed"), "a count or a percentage", "10%");
  }
  // A retry takes the waves of the report it retries.
  if ((o.maxFailed || p.isSet("pause-between-waves")) && o.waves.empty() && !p.isSet("retry")) {
    error = std::string("--") + (o.maxFailed ? "max-failed" : "pause-between-waves") +
            " goes with --waves; add --waves SIZES, or leave it out";
    return false;
  }
  if (p.isSet("sha256")) {
    o.sha256 = p.value("sha256").toLower().toStdString();
    if (o.sha256.size() != 64 ||
        o.sha256.find_first_not_of("0123456789abcdef") != std::string::npos) {
      return bad("sha256", p.value("sha256"), "64 hex digits",
                 "$(sha256sum FW_WG.BIN | cut -c1-64)");
    }
  }
  if (p.isSet("interface")) {
    for (const QString& name : p.value("interface").split(',')) {
      o.interfaces.push_back(name.toStdString());
    }
    std::string problem;
    broadcastInterfaces(o.interfaces, &problem);
    if (!problem.empty()) {
      error =
          "--interface " + problem + "; korven-cli interfaces lists those a broadcast goes out on";
      return false;
    }
  }
  o.dryRun = p.isSet("dry-run");
  o.requireVerdict = p.isSet("require-verdict");
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
                            : "--terminal ADDRESS, --all or --terminals ADDRESS,...";
  const bool targeted =
      o.command == CliOptions::Command::Update || o.command == CliOptions::Command::Mode;
  if (given != 1 && targeted) {
    error = std::string(given == 0 ? "which terminals? no target given; give one of "
                                   : "more than one target given; give only one of ") +
            choices;
    return false;
  }
  if ((o.from || o.to) && o.target != CliOptions::Target::All) {
    error = "--from and --to go with --all; add --all";
    return false;
  }
  if (o.from && o.to && *o.from > *o.to) {
    error = "--from " + std::to_string(*o.from) + " is after --to " + std::to_string(*o.to) +
            ": the range holds no terminal; give --from no greater than --to";
    return false;
  }
  return true;
}

}  // namespace

std::optional<CliOptions> parseCli(const QStringList& arguments, std::string& error) {
  QCommandLineParser p;
  p.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
  // Names only: the help text is korven-cli's own.
  for (const auto& [name, value] : kValueOptions) {
    p.addOption(
        QCommandLineOption(QString::fromLatin1(name), QString(), QString::fromLatin1(value)));
  }
  for (const char* name : kFlags) p.addOption(QCommandLineOption(QString::fromLatin1(name)));
  CliOptions o;
  if (!p.parse(QStringList{"korven-cli"} + arguments)) {
    error = parseProblem(p, arguments);
    return std::nullopt;
  }
  if (p.isSet("help") || p.isSet("h")) return o;
  if (p.isSet("version")) {
    o.command = CliOptions::Command::Version;
    return o;
  }
  const QStringList words = p.positionalArguments();
  if (words.isEmpty()) {
    error = "no command given; give " + alternatives(commandNames()) + " (korven-cli --help)";
    return std::nullopt;
  }
  const std::string command = words[0].toStdString();
  const CommandRow* row = commandRow(command);
  if (row == nullptr) {
    error = "unknown command '" + command + "'; " +
            didYouMean(command, commandNames(), "", "korven-cli --help");
    return std::nullopt;
  }
  o.command = row->command;
  const std::string usage = "korven-cli " + command + (*row->words ? " " : "") + row->words;
  const qsizetype wanted = *row->words ? 2 : 1;
  if (words.size() < wanted) {
    error = command == "update"
                ? "update: no IMAGE given; give the *.BIN file to send, as in " + usage + " --all"
                : command + ": no " + row->words + " given; give " + alternatives(kModes);
    return std::nullopt;
  }
  if (words.size() > wanted) {
    error = "unexpected '" + words[wanted].toStdString() + "' after " + usage +
            "; only options follow (korven-cli --help)";
    return std::nullopt;
  }
  if (o.command == CliOptions::Command::Update) o.image = words[1].toStdString();
  if (o.command == CliOptions::Command::Mode) {
    o.modeName = words[1].toStdString();
    if (std::find(kModes.begin(), kModes.end(), o.modeName) == kModes.end()) {
      error =
          "unknown mode '" + o.modeName + "'; " + didYouMean(o.modeName, kModes, "", "the modes");
      return std::nullopt;
    }
  }
  for (const QString& name : p.optionNames()) {
    if (row->options.count(name.toStdString()) != 0) continue;
    std::vector<std::string> with;
    for (const CommandRow& other : kCommands) {
      if (other.options.count(name.toStdString()) != 0) with.emplace_back(other.name);
    }
    error = "--" + name.toStdString() + " is no option of " + command + "; it goes with " +
            alternatives(with, "", " and ");
    return std::nullopt;
  }
  if (p.isSet("quiet") && p.isSet("verbose")) {
    error = "--quiet and --verbose together; give one of them";
    return std::nullopt;
  }
  o.quiet = p.isSet("quiet");
  o.verbose = p.isSet("verbose");
  if (!readValues(p, o, error) || !readTarget(p, o, error)) return std::nullopt;
  return o;
}

}  // namespace korven::cli
