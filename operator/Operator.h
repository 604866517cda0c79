#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "shell/Loader.h"

namespace korven {

// One terminal as the window shows it: its line, its connected mark, its
// status text and whether a send to it failed.
struct TerminalView {
  int terminal = 0;
  std::string address;
  bool connected = false;
  std::string status;
  bool failed = false;
};

// Acts as the operator on the window model, through the same entry points
// the widgets use (type, pick, click, focus), and reads back what the
// window shows. Whatever drives the program from outside (the command
// line, the demo, the benchmarks, the end-to-end tests) goes through it.
class Operator {
 public:
  Operator(Loader& loader, Platform& platform) : loader_(loader), platform_(platform) {}

  ProgPrin& w() { return loader_.window(); }
  const ProgPrin& w() const { return loader_.window(); }

  // The window's Load event; the start-up notice is acknowledged by the
  // platform's message boxes. False when start-up failed.
  bool start() { return loader_.PROG_PRIN_Load(); }
  // Runs the program's events until `done()` or `limit`; whether it holds.
  bool waitUntil(const std::function<bool()>& done, Micros limit);
  // Runs the program's events for `duration`, never less.
  void wait(Micros duration);

  // Writes an image file into the working folder; false when it cannot.
  bool writeImage(const std::string& name, const std::string& bytes);
  // Enters the yellow box (which lists the folder anew), picks the line
  // `name` and leaves the box; false when no line reads `name`.
  bool chooseImage(const std::string& name);

  // Empties the address box and types `address` into it.
  void typeAddress(const std::string& address);
  // Picks `address` from the address box's list; false when not listed.
  bool pickAddress(const std::string& address);
  // Single-terminal mode: the address box shows the OK colour.
  bool connected() const;
  // Asks one terminal whether it is there, as ASK does with its address in
  // the box; it is listed when it answers.
  void ask(const std::string& address);
  // Empties the terminal lists, as a double click on the count does in
  // all-terminals mode; the mode is as it was after.
  void clearTerminalLists();
  // The addresses listed, line by line.
  std::vector<std::string> listed() const;
  // Lists these terminals alone, anew and numbered from 0, as they answer
  // within `wait`; replies from any other terminal are ignored from now on.
  // All-terminals mode after, whatever it was before.
  void listOnly(const std::vector<std::string>& addresses, Micros wait);

  // Ticks or unticks "All terminals" (nothing when it already is so).
  void allTerminals(bool on);
  // Moves the range bars to From and To.
  void setRange(int from, int to);
  int markedLines() const;
  // All-terminals mode: the count shows the OK colour.
  bool allConnected() const;

  enum class Update { Ran, Refused, TimedOut };
  // Clicks UPDATE and waits until the window takes input again, at most
  // `limit`; by default as long as the update's timetable runs, with a
  // quarter and a minute to spare, so that only a hang ends the wait.
  Update update(std::optional<Micros> limit = std::nullopt);
  // How long the update laid by the last UPDATE click runs by its
  // timetable, from the click to its end tick.
  Micros timetable() const;
  // How long an update of `blocks` blocks would run by the same timetable,
  // with the pace, GO BOOT and image the window holds now.
  Micros timetableOf(int blocks) const;
  // The lines of the failure list.
  std::vector<std::string> failures() const;
  // Every terminal listed, or the single terminal in single-terminal mode.
  std::vector<TerminalView> terminals() const;

 private:
  Loader& loader_;
  Platform& platform_;
};

}  // namespace korven
