#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "app/cli/Session.h"

namespace korven::cli {

// The progress of an update on stderr: the step the window shows, how far
// the update is by its timetable and the time left, and how many terminals
// of the update are connected, streamed and failed. On a terminal a bar
// redrawn in place; otherwise a line at each step and every 10 s. Nothing
// when quiet.
//
// The boot step freezes the program's thread for seconds at a time (the
// window's frozen waits), so the drawing runs on a thread of its own from
// figures the program's thread hands over; the time goes on meanwhile. The
// program's thread never writes during an update: a stderr that blocks (a
// full pipe, a slow remote terminal) holds up only the drawing, never the
// timetable.
class Progress {
 public:
  explicit Progress(Session& session);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // The update to come is `name` ("wave 2 of 4", empty for a run's one
  // batch), of `terminals` terminals, its end tick due at `endsAt`.
  void waveBegins(const std::string& name, int terminals, const std::string& endsAt);
  // UPDATE is about to be clicked: the timetable counts from now.
  void clicked();
  // The update ended: its last figures, and the bar's line ended.
  void finish();

 private:
  using Clock = std::chrono::steady_clock;
  struct Figures {
    std::string step;
    int connected = 0;
    int streamed = 0;
    int failed = 0;
  };

  // On the program's thread, at each change the window shows.
  void changed(bool newStep);
  Figures read() const;
  // What to print now; under `state_`.
  std::string render(bool asLine) const;
  void tick();

  Session& s_;
  const bool shown_;
  const bool terminal_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  Clock::time_point lastRead_{};

  std::mutex output_;  // stderr while an update runs; taken before `state_`
  std::mutex state_;   // what follows
  std::condition_variable wake_;
  bool stopping_ = false;
  bool running_ = false;
  bool stepPending_ = false;
  Figures figures_;
  std::string wave_;  // "wave 2 of 4: ", or empty
  Clock::time_point clickedAt_{};
  Clock::duration timetable_{};
  Clock::time_point lastLine_{};
  bool barDrawn_ = false;
  std::thread ticker_;
};

}  // namespace korven::cli
