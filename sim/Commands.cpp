#include "sim/Commands.h"

#include "sim/Options.h"
#include "sim/Wire.h"

namespace korven::sim {

bool Commands::run(const std::string& text) {
  std::vector<std::string> words;
  std::size_t p = 0;
  while (p < text.size()) {
    const std::size_t begin = text.find_first_not_of(" \t\r", p);
    if (begin == std::string::npos) break;
    const std::size_t end = text.find_first_of(" \t\r", begin);
    words.push_back(text.substr(begin, end == std::string::npos ? end : end - begin));
    p = end == std::string::npos ? text.size() : end;
  }
  if (words.empty()) return true;
  if (words[0] == "quit" && words.size() == 1) return false;
  if (words[0] == "report" && words.size() == 1) {
    std::string error;
    hooks_.line(hooks_.report(error) ? "REPORTED" : "ERROR report: " + error);
  } else if (words[0] == "forget" && words.size() == 1) {
    for (Terminal& t : terminals_) t.forgetStreams();
    hooks_.line("FORGOTTEN");
  } else if (words[0] == "status" && words.size() == 3) {
    status(words[1], words[2]);
  } else if (words[0] == "fault" && words.size() == 3) {
    fault(words[1], words[2]);
  } else {
    hooks_.line("ERROR unknown command: " + text +
                " (report, forget, status T CODE, fault T KIND, quit)");
  }
  return true;
}

std::optional<std::size_t> Commands::terminal(const std::string& who) const {
  const std::uint32_t first = terminals_.front().addressValue();
  return terminalIndex(who, first, static_cast<int>(terminals_.size()));
}

std::string Commands::range() const {
  return terminalsText(terminals_.front().addressValue(), static_cast<int>(terminals_.size()));
}

void Commands::status(const std::string& who, const std::string& codeText) {
  const auto index = terminal(who);
  const auto code = parseStatusCode(codeText);
  if (!index) {
    hooks_.line("ERROR status: no terminal " + who + " (" + range() + ")");
    return;
  }
  if (!code) {
    hooks_.line("ERROR status: unknown status " + codeText +
                " (NEW, CHKERR, FULL, TERM or a hex byte)");
    return;
  }
  const Terminal& t = terminals_[*index];
  hooks_.line(hooks_.sendStatus(*index, *code) > 0
                  ? "STATUS " + t.address() + " " + statusName(*code) + " sent"
                  : "ERROR status: " + t.address() + " has no open connection");
}

void Commands::fault(const std::string& who, const std::string& kind) {
  const auto index = terminal(who);
  if (!index) {
    hooks_.line("ERROR fault: no terminal " + who + " (" + range() + ")");
    return;
  }
  Terminal& t = terminals_[*index];
  Faults faults = t.config().faults;
  std::string error;
  if (kind == "none") {
    faults = Faults{};
  } else if (!applyFault(faults, kind, error)) {
    hooks_.line("ERROR fault: " + error);
    return;
  }
  // A slow terminal's listener holds a plug from the start; it is not
  // rebuilt at run time.
  if (faults.slowAccept.has_value() != t.config().faults.slowAccept.has_value()) {
    hooks_.line("ERROR fault: slow-accept is set on the command line only");
    return;
  }
  const bool wasRefusing = t.config().faults.refuse;
  t.setFaults(faults);
  if (faults.refuse != wasRefusing && !hooks_.refusalChanged(*index, error)) {
    hooks_.line("ERROR fault: " + error);
    return;
  }
  hooks_.line("FAULT " + t.address() + " " + kind);
}

}  // namespace korven::sim
