#pragma once

#include <string>
#include <vector>

#include "operator/MessageLog.h"
#include "operator/Operator.h"
#include "platform/qt/QtPlatform.h"
#include "shell/Loader.h"

namespace korven::cli {

// The program without its window: the whole logic on the Qt platform, no
// configuration file, its message boxes taken as acknowledged and printed
// on stderr as korven-cli's messages (the start-up notice only when
// verbose), driven by the operator.
class Session {
 public:
  // `workingFolder`: where the program lists and reads its images; empty:
  // the current folder.
  explicit Session(const std::string& workingFolder = {});

  // Start-up; false when it failed (its message has been printed). Without
  // `startupQuery`, the query the window sends by itself half a second after
  // start-up does not go out: the terminals are given.
  bool start(bool startupQuery = true);
  // Lets the start-up query go out and its answers come in.
  void settle();
  // Waits, handling events, until `seconds` have passed since start-up.
  void waitSinceStart(double seconds);
  ProgPrin& w() { return loader.window(); }
  // The last message box as printed, without "korven-cli: ".
  const std::string& lastMessage() const { return lastMessage_; }

  MessageLog messages;
  qt::QtPlatform platform{messages};
  Loader loader{platform, false};
  Operator op{loader, platform};

 private:
  Micros startedAt_{0};
  std::string lastMessage_;
};

// Catches Ctrl+C and SIGTERM while it lives: a stream cut in the middle
// leaves a terminal in its boot loader without an image, so the update goes
// on and the interruption is only answered with a warning.
class UninterruptedUpdate {
 public:
  UninterruptedUpdate();
  ~UninterruptedUpdate();
  UninterruptedUpdate(const UninterruptedUpdate&) = delete;
  UninterruptedUpdate& operator=(const UninterruptedUpdate&) = delete;
};

// Notes Ctrl+C and SIGTERM while it lives, for a run that waits for its
// window: nothing is streaming, so the run ends at once, but by its own
// hand, its report written first; then it dies of the signal noted.
class CaughtSignal {
 public:
  CaughtSignal();
  ~CaughtSignal();
  CaughtSignal(const CaughtSignal&) = delete;
  CaughtSignal& operator=(const CaughtSignal&) = delete;
  // The signal noted; 0: none yet.
  static int caught();
  // Dies of `signal` as if it had never been caught.
  [[noreturn]] static void dieOf(int signal);
};

}  // namespace korven::cli
