// korven-cli's option values, each checked on its own: a wrong one is named
// with what it must be and an example.
#include "app/cli/CliValues.h"

#include <algorithm>

#include "app/cli/Suggest.h"
#include "platform/system/NetworkInterfaces.h"
#include "platform/system/TerminalAddress.h"

namespace korven::cli {
namespace {

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

}  // namespace

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
  if (p.isSet("window")) {
    o.window = parseNightWindow(p.value("window").toStdString());
    if (!o.window)
      return bad("window", p.value("window"),
                 "a start and an end in local time, HH:MM or HH:MM:SS, not the same",
                 "22:00-05:00");
  }
  o.windowNowOrNever = p.isSet("window-now-or-never");
  if (o.windowNowOrNever && !o.window) {
    error = "--window-now-or-never goes with --window; add --window START-END";
    return false;
  }
  if (p.isSet("retries")) {
    const auto n = digits(p.value("retries"), 100);
    if (!n) return bad("retries", p.value("retries"), "a count from 0 to 100", "2");
    o.retries = *n;
  }
  if (p.isSet("retry-pause")) {
    const auto s = seconds(p.value("retry-pause"), 0, 86400);
    if (!s) return bad("retry-pause", p.value("retry-pause"), "seconds from 0 to 86400", "30");
    if (!p.isSet("retries")) {
      error = "--retry-pause goes with --retries; add --retries N, or leave it out";
      return false;
    }
    o.retryPauseSeconds = *s;
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
  if (p.isSet("history") && p.isSet("no-history")) {
    error = "--history and --no-history together; give one of them";
    return false;
  }
  o.historyFile = p.value("history").toStdString();
  o.noHistory = p.isSet("no-history");
  o.skipCurrent = p.isSet("skip-current");
  if (o.skipCurrent && o.noHistory) {
    error = "--skip-current needs the history; leave out --no-history";
    return false;
  }
  o.pending = p.isSet("pending");
  o.imageFile = p.value("image").toStdString();
  o.import = p.isSet("import");
  if (o.command == CliOptions::Command::History) {
    if (o.pending == (o.imageFile.empty() && o.sha256.empty())) {
      error = o.pending ? "--pending of which image? give --image NAME or --sha256 HEX"
                        : "--image and --sha256 go with --pending; add --pending";
      return false;
    }
    if (!o.imageFile.empty() && !o.sha256.empty()) {
      error = "--image and --sha256 together; give one of them";
      return false;
    }
    if (o.import && (o.pending || o.words.empty())) {
      error = o.pending ? "--import and --pending together; give one of them"
                        : "--import of which reports? give their files after it";
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

}  // namespace korven::cli
