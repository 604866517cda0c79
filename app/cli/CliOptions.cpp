#include "app/cli/CliOptions.h"

#include <QCommandLineParser>

#include <algorithm>
#include <set>

#include "app/cli/CliValues.h"
#include "app/cli/Suggest.h"

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
    {"update", CliOptions::Command::Update, "IMAGE", {"terminal",     "all",
                                                      "terminals",    "retry",
                                                      "from",         "to",
                                                      "delay",        "go-boot",
                                                      "wait",         "verdict-wait",
                                                      "report",       "json",
                                                      "dry-run",      "waves",
                                                      "max-failed",   "pause-between-waves",
                                                      "sha256",       "require-verdict",
                                                      "history",      "no-history",
                                                      "skip-current", "interface",
                                                      "window",       "window-now-or-never",
                                                      "retries",      "retry-pause",
                                                      "quiet",        "verbose"}},
    {"mode",
     CliOptions::Command::Mode,
     "MODE",
     {"terminal", "all", "terminals", "json", "interface", "quiet", "verbose"}},
    {"interfaces", CliOptions::Command::Interfaces, "", {}},
    {"history",
     CliOptions::Command::History,
     "[ADDRESS...]",
     {"history", "pending", "image", "sha256", "require-verdict", "import", "json", "quiet",
      "verbose"}},
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
                                                             {"history", "FILE"},
                                                             {"image", "FILE"},
                                                             {"interface", "NAME,..."},
                                                             {"window", "START-END"},
                                                             {"retries", "N"},
                                                             {"retry-pause", "SECONDS"}};
const char* const kFlags[] = {"all",        "json",
                              "dry-run",    "require-verdict",
                              "no-history", "pending",
                              "import",     "skip-current",
                              "quiet",      "verbose",
                              "help",       "h",
                              "version",    "window-now-or-never"};

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
  // history takes any number of addresses, or of reports with --import.
  const bool anyWords = o.command == CliOptions::Command::History;
  const qsizetype wanted = anyWords ? words.size() : *row->words ? 2 : 1;
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
  for (qsizetype i = 1; anyWords && i < words.size(); ++i)
    o.words.push_back(words[i].toStdString());
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
