#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sim/Terminal.h"

namespace korven::sim {

// The command language of the simulator's stdin, one command per line:
// "report", "forget", "status T CODE", "fault T KIND[:ARG]", "fault T none",
// "quit". T is an address or a number counted from 0. Each command answers
// with one line.
class Commands {
 public:
  struct Hooks {
    std::function<void(const std::string&)> line;  // one line of output
    std::function<bool(std::string& error)> report;
    // Sends a status byte on every open connection of a terminal; how many.
    std::function<int(std::size_t terminal, unsigned char code)> sendStatus;
    // A terminal's refusal was switched: its listener follows.
    std::function<bool(std::size_t terminal, std::string& error)> refusalChanged;
  };
  Commands(std::vector<Terminal>& terminals, Hooks hooks)
      : terminals_(terminals), hooks_(std::move(hooks)) {}

  // Runs one command line; false once it was "quit".
  bool run(const std::string& text);

 private:
  void status(const std::string& who, const std::string& code);
  void fault(const std::string& who, const std::string& kind);
  std::optional<std::size_t> terminal(const std::string& who) const;
  std::string range() const;

  std::vector<Terminal>& terminals_;
  Hooks hooks_;
};

}  // namespace korven::sim
