#pragma once

#include <QJsonArray>
#include <QTemporaryDir>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "operator/MessageLog.h"
#include "operator/Operator.h"
#include "platform/qt/QtPlatform.h"
#include "shell/Loader.h"
#include "view/qt/FormView.h"

// The harness the benchmarks share: the program's whole logic on the Qt
// platform with its window (offscreen), in a fresh working folder, driven
// through the form model as the operator would drive it.
namespace korven::bench {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start);

// When the sends of each piece of an update were handed to the sockets:
// the first and the last send under each value of the transfer cursor.
struct FanOut {
  struct Piece {
    Clock::time_point first;
    Clock::time_point last;
    int sends = 0;
  };
  std::vector<Piece> pieces = std::vector<Piece>(1001);
  void record(int piece, Clock::time_point at);
  // The longest first-to-last spread of one piece, and its cursor.
  double longestMs(int* piece = nullptr) const;
  // The median spread over the pieces sent to more than one terminal.
  double medianMs() const;
};

// The Qt platform whose TCP sockets note the time of every send.
class TimedPlatform : public qt::QtPlatform {
 public:
  explicit TimedPlatform(Dialogs& dialogs) : qt::QtPlatform(dialogs) {}
  std::unique_ptr<TcpSocket> createTcpSocket() override;

  FanOut fanOut;
  std::function<int()> cursor;  // the piece being sent; unset: nothing is noted
  // The shortest pause one socket saw between the hand-overs of two
  // consecutive pieces whose cursors lie in [blockGapFrom, blockGapTo]: the
  // block pauses as the program kept them, before the network and the
  // simulator's reading add their jitter.
  int blockGapFrom = 4;
  int blockGapTo = 0;
  double shortestBlockGapMs = 1e9;
};

class BenchProgram {
 public:
  BenchProgram();

  bool start();
  ProgPrin& w() { return loader_.window(); }
  Operator& op() { return op_; }
  const QString& folder() const { return folderPath_; }

  // Runs the program's events until `done` or the time limit.
  bool waitFor(const std::function<bool()>& done, int milliseconds) {
    return op_.waitUntil(done, Micros(milliseconds * 1000LL));
  }
  void runFor(int milliseconds) { op_.wait(Micros(milliseconds * 1000LL)); }

  // Writes an image file into the working folder and chooses it.
  bool chooseImage(const std::string& name, const std::string& bytes) {
    return op_.writeImage(name, bytes) && op_.chooseImage(name);
  }
  void clickAllTerminals() { w().SW_ALL.userClick(); }
  int markedLines() const { return op_.markedLines(); }
  bool allConnected() const { return op_.allConnected(); }
  // Clicks UPDATE and waits until the window is enabled again; the seconds
  // from the click, or a negative number when refused or too late.
  double update(int milliseconds);
  std::vector<std::string> failures() const { return op_.failures(); }
  // Every update kept in this history besides its report, as the window keeps it.
  void keepHistory(History* history) { loader_.report().setHistory(history); }

  // Message boxes, printed from the first after the start-up notice.
  MessageLog dialogs;
  TimedPlatform platform{dialogs};

 private:
  QTemporaryDir folder_;
  QString folderPath_;
  Loader loader_{platform};
  Operator op_{loader_, platform};
  std::unique_ptr<qt::FormView> view_;
};

// The program's own figures.
double cpuSeconds();      // user + system time so far
long peakMemoryKb();      // ru_maxrss
int openDescriptors();    // entries of /proc/self/fd
long residentMemoryKb();  // VmRSS

// The simulator's verdicts: terminals with exactly one stream, verified ok.
int verifiedTerminals(const QJsonArray& terminals);
// The address of every terminal whose streams are not (all) ok.
std::vector<std::string> unverifiedTerminals(const QJsonArray& terminals);

// The simulator under tools/in-netns: the bench binary runs inside it.
QString simulatorPath();

}  // namespace korven::bench
