#include "app/cli/Progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "app/cli/Output.h"

namespace korven::cli {
namespace {

// Without a terminal, a line at every step and at least this often: a log
// shows the update alive through the boot step's long waits.
constexpr auto kLinePeriod = std::chrono::seconds(10);
// Between updates, how often the drawing thread looks whether one began.
constexpr auto kIdleLook = std::chrono::milliseconds(200);
// On a terminal, the bar's redraw.
constexpr auto kBarPeriod = std::chrono::milliseconds(200);

int columns() {
  winsize size{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col >= 40) return size.ws_col;
  return 80;
}

std::string minutesAndSeconds(std::chrono::steady_clock::duration d) {
  const long long s = std::max<long long>(
      0,
      std::chrono::duration_cast<std::chrono::seconds>(d + std::chrono::milliseconds(999)).count());
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
  return text;
}

}  // namespace

Progress::Progress(Session& session)
    : s_(session),
      shown_(verbosity() != Verbosity::Quiet),
      terminal_(::isatty(STDERR_FILENO) == 1) {
  if (!shown_) return;
  ProgPrin& w = s_.w();
  const std::shared_ptr<bool> alive = alive_;
  w.AFF_UPD_MSG.onChange.connect([this, alive] {
    if (*alive) changed(true);
  });
  w.AFF_TR_PERC.onChange.connect([this, alive] {
    if (*alive) changed(false);
  });
  ticker_ = std::thread([this] { tick(); });
}

Progress::~Progress() {
  *alive_ = false;
  if (!ticker_.joinable()) return;
  {
    const std::lock_guard<std::mutex> lock(state_);
    stopping_ = true;
  }
  wake_.notify_all();
  ticker_.join();
}

void Progress::waveBegins(const std::string& name, int terminals, const std::string& endsAt) {
  if (!shown_) return;
  const std::lock_guard<std::mutex> out(output_);
  const std::lock_guard<std::mutex> lock(state_);
  wave_ = name.empty() ? std::string() : name + ": ";
  std::fprintf(stderr, "%s%d terminal%s, ends at %s\n", wave_.c_str(), terminals,
               terminals == 1 ? "" : "s", endsAt.c_str());
}

void Progress::clicked() {
  if (!shown_) return;
  const std::lock_guard<std::mutex> lock(state_);
  clickedAt_ = Clock::now();
  timetable_ = {};
  figures_ = Figures{};
}

Progress::Figures Progress::read() const {
  Figures f;
  f.step = s_.w().AFF_UPD_MSG.text();
  const auto& record = s_.loader.report().last();
  if (!record) return f;
  for (const TerminalRecord& t : record->terminals) {
    if (!t.inRange) continue;
    f.connected += t.connected ? 1 : 0;
    f.failed += t.firstFailedPiece ? 1 : 0;
    f.streamed += record->finished && record->outcome(t) == "streamed" ? 1 : 0;
  }
  return f;
}

void Progress::changed(bool newStep) {
  // Read at each step, and otherwise no more often than drawn: a batch of a
  // thousand terminals is counted in the gaps between pieces.
  const auto now = Clock::now();
  if (!newStep && now - lastRead_ < kBarPeriod) return;
  lastRead_ = now;
  Figures f = read();
  {
    const std::lock_guard<std::mutex> lock(state_);
    // An update starts with its first step, whatever the display held before.
    if (!running_ && newStep && !f.step.empty()) {
      running_ = true;
      timetable_ = std::chrono::microseconds(s_.op.timetable().count());
    }
    figures_ = std::move(f);
    stepPending_ = running_ && (stepPending_ || newStep);
  }
  if (newStep) wake_.notify_all();
}

std::string Progress::render(bool asLine) const {
  const auto elapsed = Clock::now() - clickedAt_;
  const double done = timetable_.count() > 0
                          ? std::min(1.0, static_cast<double>(elapsed.count()) /
                                              static_cast<double>(timetable_.count()))
                          : 0.0;
  const int percent = static_cast<int>(done * 100);
  const std::string left = minutesAndSeconds(timetable_ - elapsed) + " left";
  char counts[96];
  std::snprintf(counts, sizeof counts, "%d connected, %d streamed, %d failed", figures_.connected,
                figures_.streamed, figures_.failed);
  char text[512];
  if (asLine) {
    std::snprintf(text, sizeof text, "%s%s %d%%, %s: %s\n", wave_.c_str(), figures_.step.c_str(),
                  percent, left.c_str(), counts);
    return text;
  }
  // STEP [#####.....] 45% 0:12 left  N connected, N streamed, N failed
  char head[64];
  std::snprintf(head, sizeof head, "%-15s [", figures_.step.c_str());
  char tail[160];
  std::snprintf(tail, sizeof tail, "] %3d%% %s  %s", percent, left.c_str(), counts);
  const int room =
      columns() - 1 - static_cast<int>(std::string(head).size() + std::string(tail).size());
  const int width = std::clamp(room, 0, 40);
  const int filled = static_cast<int>(done * width);
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.append(static_cast<std::size_t>(width - filled), '.');
  return std::string("\r") + head + bar + tail + "\033[K";
}

void Progress::tick() {
  std::unique_lock<std::mutex> lock(state_);
  while (!stopping_) {
    // Without a terminal, the next line is due a period after the last one.
    const auto wakeAt = terminal_  ? Clock::now() + kBarPeriod
                        : running_ ? lastLine_ + kLinePeriod
                                   : Clock::now() + kIdleLook;
    wake_.wait_until(lock, wakeAt, [this] { return stopping_ || stepPending_; });
    if (stopping_ || !running_) continue;
    const bool due = terminal_ || stepPending_ || Clock::now() - lastLine_ >= kLinePeriod;
    if (!due) continue;
    // Written without the figures' lock, so the program's thread never waits
    // on stderr; under the output's, so finish() comes after, never before.
    lock.unlock();
    {
      const std::lock_guard<std::mutex> out(output_);
      std::string text;
      {
        const std::lock_guard<std::mutex> again(state_);
        if (running_) {
          stepPending_ = false;
          text = render(!terminal_);
          lastLine_ = Clock::now();
          barDrawn_ = barDrawn_ || terminal_;
        }
      }
      std::fputs(text.c_str(), stderr);
      std::fflush(stderr);
    }
    lock.lock();
  }
}

void Progress::finish() {
  if (!shown_) return;
  Figures f = read();
  const std::lock_guard<std::mutex> out(output_);
  std::string text;
  {
    const std::lock_guard<std::mutex> lock(state_);
    if (!running_) return;
    f.step = figures_.step;
    figures_ = std::move(f);
    timetable_ = Clock::now() - clickedAt_;  // it ended: nothing is left
    text = render(!terminal_);
    if (barDrawn_ || terminal_) text += "\n";
    running_ = false;
    stepPending_ = false;
    barDrawn_ = false;
    wave_.clear();
  }
  std::fputs(text.c_str(), stderr);
}

}  // namespace korven::cli
