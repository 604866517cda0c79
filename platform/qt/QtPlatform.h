#pragma once

#include <memory>

#include "platform/Platform.h"
#include "platform/qt/QtEventLoop.h"
#include "platform/system/OpenFileLimit.h"
#include "platform/system/StdFiles.h"
#include "platform/system/SteadyClock.h"
#include "platform/system/SystemWallClock.h"

namespace korven::qt {

// The production platform: Qt's event loop, timers and sockets, the steady
// clock and the machine's files. Message boxes are whoever shows them: the
// window's, the command line's printed ones, a test's.
class QtPlatform : public Platform {
 public:
  explicit QtPlatform(Dialogs& dialogs) : dialogs_(dialogs) {}

  EventLoop& eventLoop() override { return loop_; }
  Clock& clock() override { return clock_; }
  const WallClock& wallClock() override { return wallClock_; }
  Dialogs& dialogs() override { return dialogs_; }
  Files& files() override { return files_; }
  std::unique_ptr<Timer> createTimer() override;
  std::unique_ptr<UdpSocket> createUdpSocket() override;
  std::unique_ptr<TcpSocket> createTcpSocket() override;
  long openFileLimit() override { return korven::openFileLimit(); }

  // Works in `folder` instead of the process's current folder.
  void setWorkingFolder(std::string folder) { files_.setCurrentFolder(std::move(folder)); }

 private:
  SteadyClock clock_;
  SystemWallClock wallClock_;
  QtEventLoop loop_{clock_};
  Dialogs& dialogs_;
  StdFiles files_;
};

}  // namespace korven::qt
