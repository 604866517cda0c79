#pragma once

#include <memory>

#include "platform/Dialogs.h"
#include "platform/EventLoop.h"
#include "platform/Files.h"
#include "platform/Sockets.h"
#include "platform/Timer.h"
#include "platform/WallClock.h"

namespace korven {

// Everything the logic needs of the machine, handed to each subsystem.
class Platform {
 public:
  virtual ~Platform() = default;
  virtual EventLoop& eventLoop() = 0;
  virtual Clock& clock() = 0;
  virtual const WallClock& wallClock() = 0;
  virtual Dialogs& dialogs() = 0;
  virtual Files& files() = 0;
  virtual std::unique_ptr<Timer> createTimer() = 0;
  virtual std::unique_ptr<UdpSocket> createUdpSocket() = 0;
  virtual std::unique_ptr<TcpSocket> createTcpSocket() = 0;
  // How many files and sockets the program may hold open; -1: no limit.
  virtual long openFileLimit() = 0;
};

}  // namespace korven
