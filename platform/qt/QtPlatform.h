#pragma once

#include <memory>

#include "platform/Platform.h"
#include "platform/qt/Backend.h"
#include "platform/system/OpenFileLimit.h"
#include "platform/system/StdFiles.h"
#include "platform/system/SteadyClock.h"
#include "platform/system/SystemWallClock.h"

namespace korven::qt {

// The production platform: Qt's event loop with the sockets and timers the
// build chose under it (platform/qt/Backend.h), the steady clock and the
// machine's files. Message boxes are whoever shows them: the window's, the
// command line's printed ones, a test's.
class QtPlatform : public Platform {
 public:
  explicit QtPlatform(Dialogs& dialogs);

  EventLoop& eventLoop() override { return backend_->eventLoop(); }
  Clock& clock() override { return clock_; }
  const WallClock& wallClock() override { return wallClock_; }
  Dialogs& dialogs() override { return dialogs_; }
  Files& files() override { return files_; }
  std::unique_ptr<Timer> createTimer() override { return backend_->createTimer(); }
  std::unique_ptr<UdpSocket> createUdpSocket() override { return backend_->createUdpSocket(); }
  std::unique_ptr<TcpSocket> createTcpSocket() override { return backend_->createTcpSocket(); }
  long openFileLimit() override { return korven::openFileLimit(); }

  // Works in `folder` instead of the process's current folder.
  void setWorkingFolder(std::string folder) { files_.setCurrentFolder(std::move(folder)); }
  // Datagrams to 255.255.255.255 go out on these interfaces only; empty:
  // on every one that can broadcast.
  void setBroadcastInterfaces(std::vector<std::string> names) {
    backend_->broadcast().restrictTo(std::move(names));
  }
  // Which sockets and timers lie under the loop, and how early its timed
  // waits are woken (the benchmarks print and vary it).
  static const char* backendName();
  Backend& backend() { return *backend_; }

 private:
  SteadyClock clock_;
  SystemWallClock wallClock_;
  std::unique_ptr<Backend> backend_;
  Dialogs& dialogs_;
  StdFiles files_;
};

}  // namespace korven::qt
