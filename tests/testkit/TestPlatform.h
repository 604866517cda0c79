#pragma once

#include "operator/MessageLog.h"
#include "platform/Platform.h"
#include "tests/testkit/MemoryFiles.h"
#include "tests/testkit/MemoryNetwork.h"
#include "tests/testkit/VirtualScheduler.h"

namespace korven::testkit {

// The platform of the logic tests: virtual time, recorded message boxes,
// files and network in memory.
class TestPlatform : public Platform {
 public:
  VirtualScheduler scheduler;
  // 7 December 2026, 10:00:00 when virtual time begins, then with it.
  class Calendar : public WallClock {
   public:
    explicit Calendar(const Clock& clock) : clock_(clock) {}
    LocalTime now() const override { return in(Micros(0)); }
    LocalTime in(Micros fromNow) const override {
      const long long seconds = 10 * 3600 + (clock_.now() + fromNow).count() / 1'000'000;
      return LocalTime{2026,
                       12,
                       7,
                       static_cast<int>(seconds / 3600 % 24),
                       static_cast<int>(seconds / 60 % 60),
                       static_cast<int>(seconds % 60)};
    }

   private:
    const Clock& clock_;
  } calendar{scheduler};
  MessageLog dialogBoxes;
  MemoryFiles fileSystem;
  MemoryNetwork network{scheduler};

  EventLoop& eventLoop() override { return scheduler; }
  Clock& clock() override { return scheduler; }
  const WallClock& wallClock() override { return calendar; }
  Dialogs& dialogs() override { return dialogBoxes; }
  Files& files() override { return fileSystem; }
  std::unique_ptr<Timer> createTimer() override { return scheduler.createTimer(); }
  std::unique_ptr<UdpSocket> createUdpSocket() override { return network.createUdpSocket(); }
  std::unique_ptr<TcpSocket> createTcpSocket() override { return network.createTcpSocket(); }
  long openFileLimit() override { return openFiles; }
  long openFiles = 1024;
};

}  // namespace korven::testkit
