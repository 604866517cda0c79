#include "app/bench/BenchProgram.h"

#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/system/OpenFileLimit.h"

namespace korven::bench {

namespace {

// A TCP socket that notes the time of each send and otherwise hands
// everything to the Qt socket behind it. The logic sets the remote host and
// port on this one, so they are passed on before each connect.
class TimedTcpSocket : public TcpSocket {
 public:
  TimedTcpSocket(std::unique_ptr<TcpSocket> inner, TimedPlatform& platform)
      : inner_(std::move(inner)), platform_(platform) {
    inner_->onConnect.connect([this] { onConnect.raise(); });
    inner_->onDataArrival.connect([this](std::size_t n) { onDataArrival.raise(n); });
  }
  int state() const override { return inner_->state(); }
  bool connect() override {
    inner_->setRemoteHost(remoteHost());
    inner_->setRemotePort(remotePort());
    return inner_->connect();
  }
  bool sendData(std::string_view bytes) override {
    const bool sent = inner_->sendData(bytes);
    if (!platform_.cursor) return sent;
    const Clock::time_point now = Clock::now();
    const int piece = platform_.cursor();
    platform_.fanOut.record(piece, now);
    if (piece == lastPiece_ + 1 && piece >= platform_.blockGapFrom &&
        piece <= platform_.blockGapTo) {
      platform_.shortestBlockGapMs =
          std::min(platform_.shortestBlockGapMs,
                   std::chrono::duration<double, std::milli>(now - lastSend_).count());
    }
    lastPiece_ = piece;
    lastSend_ = now;
    return sent;
  }
  std::string getData() override { return inner_->getData(); }
  void close() override { inner_->close(); }
  std::uint64_t bytesHandedOver() const override { return inner_->bytesHandedOver(); }
  std::uint64_t bytesDelivered() const override { return inner_->bytesDelivered(); }

 private:
  std::unique_ptr<TcpSocket> inner_;
  TimedPlatform& platform_;
  int lastPiece_ = -1;
  Clock::time_point lastSend_;
};

}  // namespace

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void FanOut::record(int piece, Clock::time_point at) {
  if (piece < 0 || piece >= static_cast<int>(pieces.size())) return;
  Piece& p = pieces[static_cast<std::size_t>(piece)];
  if (p.sends++ == 0) p.first = at;
  p.last = at;
}

double FanOut::longestMs(int* piece) const {
  double longest = 0;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (pieces[i].sends == 0) continue;
    const double ms =
        std::chrono::duration<double, std::milli>(pieces[i].last - pieces[i].first).count();
    if (ms >= longest) {
      longest = ms;
      if (piece != nullptr) *piece = static_cast<int>(i);
    }
  }
  return longest;
}

double FanOut::medianMs() const {
  std::vector<double> spreads;
  for (const Piece& p : pieces) {
    if (p.sends > 1) {
      spreads.push_back(std::chrono::duration<double, std::milli>(p.last - p.first).count());
    }
  }
  if (spreads.empty()) return 0;
  const auto middle = spreads.begin() + static_cast<std::ptrdiff_t>(spreads.size() / 2);
  std::nth_element(spreads.begin(), middle, spreads.end());
  return *middle;
}

std::unique_ptr<TcpSocket> TimedPlatform::createTcpSocket() {
  return std::make_unique<TimedTcpSocket>(qt::QtPlatform::createTcpSocket(), *this);
}

BenchProgram::BenchProgram() : folderPath_(folder_.path()) {
  QDir::setCurrent(folderPath_);
}

bool BenchProgram::start() {
  // As the program's main does: one descriptor per connection of a batch.
  raiseOpenFileLimit();
  view_ = std::make_unique<qt::FormView>(w().PROG_PRIN);
  platform.cursor = [this] { return std::atoi(w().AFF_NO_ENV.text().c_str()); };
  const bool started = op_.start();
  dialogs.onShown = [](const std::string& text, bool) {
    std::printf("  message box: %s\n", oneLine(text).c_str());
    std::fflush(stdout);
  };
  return started;
}

double BenchProgram::update(int milliseconds) {
  const Clock::time_point click = Clock::now();
  if (op_.update(Micros(milliseconds * 1000LL)) != Operator::Update::Ran) return -1;
  return secondsSince(click);
}

double cpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

long peakMemoryKb() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

int openDescriptors() {
  std::error_code ec;
  int count = 0;
  for (auto it = std::filesystem::directory_iterator("/proc/self/fd", ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    ++count;
  }
  return count - 1;  // the listing's own descriptor
}

long residentMemoryKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

namespace {

bool verified(const QJsonObject& terminal) {
  const QJsonArray streams = terminal.value("streams").toArray();
  return streams.size() == 1 && streams[0].toObject().value("verdict").toString() == "ok";
}

}  // namespace

int verifiedTerminals(const QJsonArray& terminals) {
  return static_cast<int>(
      std::count_if(terminals.begin(), terminals.end(),
                    [](const QJsonValue& t) { return verified(t.toObject()); }));
}

std::vector<std::string> unverifiedTerminals(const QJsonArray& terminals) {
  std::vector<std::string> addresses;
  for (const auto& t : terminals) {
    if (!verified(t.toObject())) {
      addresses.push_back(t.toObject().value("address").toString().toStdString());
    }
  }
  return addresses;
}

QString simulatorPath() {
  return QCoreApplication::applicationDirPath() + "/korven-sim";
}

}  // namespace korven::bench
