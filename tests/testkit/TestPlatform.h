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
  MessageLog dialogBoxes;
  MemoryFiles fileSystem;
  MemoryNetwork network{scheduler};

  EventLoop& eventLoop() override { return scheduler; }
  Clock& clock() override { return scheduler; }
  Dialogs& dialogs() override { return dialogBoxes; }
  Files& files() override { return fileSystem; }
  std::unique_ptr<Timer> createTimer() override { return scheduler.createTimer(); }
  std::unique_ptr<UdpSocket> createUdpSocket() override { return network.createUdpSocket(); }
  std::unique_ptr<TcpSocket> createTcpSocket() override { return network.createTcpSocket(); }
  long openFileLimit() override { return openFiles; }
  long openFiles = 1024;
};

}  // namespace korven::testkit
