#include "app/cli/Commands.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "app/cli/Progress.h"
#include "app/cli/Session.h"
#include "update/ReportFormat.h"
#include "update/UpdateStart.h"

namespace korven::cli {
namespace fs = std::filesystem;

namespace {

Micros seconds(double s) {
  return Micros(static_cast<long long>(s * 1e6));
}

int fail(int code, const std::string& text) {
  std::fprintf(stderr, "korven-cli: %s\n", text.c_str());
  return code;
}

std::string waitText(const CliOptions& o) {
  char text[32];
  std::snprintf(text, sizeof text, "%g s", o.waitSeconds);
  return text;
}

bool endsWithBin(const std::string& name) {
  if (name.size() < 4) return false;
  std::string suffix = name.substr(name.size() - 4);
  for (char& c : suffix) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return suffix == ".BIN";
}

// The terminals of an update other than one typed in: listed and connected
// in all-terminals mode, the range set. A code when it cannot go on.
std::optional<int> allTerminals(Session& s, const CliOptions& o) {
  Operator& op = s.op;
  std::vector<std::string> given = o.terminals;
  if (!o.retryReport.empty()) {
    std::ifstream in(o.retryReport, std::ios::binary);
    if (!in) return fail(kRefused, "cannot read the report " + o.retryReport);
    given = terminalsToRetry(std::string(std::istreambuf_iterator<char>(in), {}));
    if (given.empty()) return fail(kClean, "no terminal to retry in " + o.retryReport);
  }
  if (o.target == CliOptions::Target::Given) {
    // Only the terminals given are listed, each asked on its own.
    op.clearTerminalLists();
    for (const std::string& address : given) op.ask(address);
    op.waitUntil([&] { return op.listed().size() >= given.size(); }, seconds(o.waitSeconds));
    s.loader.report().expected = given;
  } else {
    s.waitSinceStart(o.waitSeconds);
  }
  const int found = static_cast<int>(op.listed().size());
  if (found == 0) return fail(kNoTerminal, "no terminal answered within " + waitText(o));
  op.allTerminals(true);
  op.setRange(o.from.value_or(0), o.to.value_or(found));
  op.waitUntil([&] { return op.allConnected(); }, seconds(o.waitSeconds));
  return std::nullopt;
}

void printOutcome(const UpdateRecord& r, bool json) {
  if (json) {
    std::fputs(reportJson(r).c_str(), stdout);
    return;
  }
  for (const TerminalRecord& t : r.terminals) {
    std::printf("%s %s %s%s\n", t.terminal ? std::to_string(*t.terminal).c_str() : "-",
                t.address.c_str(), t.outcome(r.piecesTotal).c_str(),
                t.reply.empty() ? "" : (" " + t.reply).c_str());
  }
}

}  // namespace

int discover(const CliOptions& o) {
  Session s;
  if (!s.start()) return kRefused;
  s.waitSinceStart(o.waitSeconds);
  const auto listed = s.op.listed();
  if (listed.empty()) return fail(kNoTerminal, "no terminal answered within " + waitText(o));
  if (o.json) {
    std::string out = "{\"terminals\":[";
    for (std::size_t i = 0; i < listed.size(); ++i) {
      out += (i == 0 ? "{\"terminal\":" : ",{\"terminal\":") + std::to_string(i) +
             ",\"address\":" + jsonString(listed[i]) + "}";
    }
    std::printf("%s]}\n", out.c_str());
  } else {
    for (std::size_t i = 0; i < listed.size(); ++i) std::printf("%zu %s\n", i, listed[i].c_str());
  }
  return kClean;
}

int update(const CliOptions& o) {
  const fs::path image(o.image);
  const std::string name = image.filename().string();
  if (!endsWithBin(name)) return fail(kRefused, "IMAGE must be a *.BIN file: " + o.image);
  std::error_code ec;
  const fs::path here = fs::current_path(ec);
  const fs::path folder = image.has_parent_path() ? fs::absolute(image.parent_path(), ec) : here;
  Session s(folder == here ? std::string() : folder.string());
  UpdateReport& report = s.loader.report();
  if (!o.reportFile.empty()) {
    report.file = fs::absolute(o.reportFile, ec).string();
  } else {
    report.folder = (here / "reports").string();
  }
  if (!s.start()) return kRefused;
  if (!s.op.chooseImage(name)) {
    std::fprintf(stderr, "%s\n", kCannotReadImage);  // as the window says it
    return kRefused;
  }
  s.settle();

  Operator& op = s.op;
  if (o.target == CliOptions::Target::Single) {
    op.typeAddress(o.terminal);
    if (!op.waitUntil([&] { return op.connected(); }, seconds(o.waitSeconds))) {
      return fail(kNoTerminal, "terminal " + o.terminal + " not connected within " + waitText(o));
    }
  } else if (const auto stop = allTerminals(s, o)) {
    return *stop;
  }
  if (o.delay) s.w().INP_DEL.userEdit(*o.delay);
  if (o.goBoot && (s.w().SW_GO_BOOT.value() == 1) != *o.goBoot) s.w().SW_GO_BOOT.userClick();

  Progress progress(op);
  Operator::Update result = Operator::Update::Refused;
  {
    const UninterruptedUpdate guard;
    result = op.update(seconds(3600));
  }
  progress.finish();
  if (result == Operator::Update::Refused) return kRefused;  // its message is printed
  if (result == Operator::Update::TimedOut) return fail(kNotClean, "the update did not end");
  const UpdateRecord& record = *report.last();
  printOutcome(record, o.json);
  if (report.lastWritten().empty()) return fail(kNotClean, "the report could not be written");
  std::fprintf(stderr, "report: %s\n", report.lastWritten().c_str());
  const bool anyInRange = std::any_of(record.terminals.begin(), record.terminals.end(),
                                      [](const TerminalRecord& t) { return t.inRange; });
  if (!anyInRange) return fail(kNotClean, "no terminal in the range");
  return record.allClean() ? kClean : kNotClean;
}

int mode(const CliOptions& o) {
  Session s;
  if (!s.start()) return kRefused;
  s.settle();
  ProgPrin& w = s.w();
  const std::map<std::string, Button*> buttons = {{"go-boot", &w.B_GO_BOOT},
                                                  {"go-term", &w.B_GO_TERM},
                                                  {"active", &w.B_MODE_ACTIVE},
                                                  {"passive", &w.B_MODE_PASSIVE},
                                                  {"show-mac", &w.B_SHOW_MAC}};
  if (o.target == CliOptions::Target::Single) {
    s.op.typeAddress(o.terminal);
  } else {
    s.op.allTerminals(true);  // the frames go by broadcast
  }
  Button& button = *buttons.at(o.modeName);
  button.userClick();  // the burst of ten runs inside the click
  if (w.AFF_STATUS0.text() == "SEND ERROR") return fail(kNotClean, "a frame could not be sent");
  std::fprintf(stderr, "%s sent ten times to %s\n", button.text().c_str(),
               o.target == CliOptions::Target::Single ? o.terminal.c_str() : "every terminal");
  return kClean;
}

}  // namespace korven::cli
