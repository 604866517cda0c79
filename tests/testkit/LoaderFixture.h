#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "operator/Operator.h"
#include "shell/Loader.h"
#include "tests/testkit/RecordingTerminal.h"
#include "tests/testkit/TestPlatform.h"

namespace korven::testkit {

// The whole program on the test platform, started, with helpers to act as
// the operator and to move virtual time.
class LoaderFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    loader = std::make_unique<Loader>(platform);
    op = std::make_unique<Operator>(*loader, platform);
    ASSERT_TRUE(op->start());
    platform.dialogBoxes.shown.clear();
  }

  ProgPrin& w() { return loader->window(); }
  VirtualScheduler& time() { return platform.scheduler; }
  void advanceMs(long ms) { time().advance(Micros(ms * 1000)); }
  bool until(const std::function<bool()>& done, long limitMs = 600'000) {
    return op->waitUntil(done, Micros(limitMs * 1000));
  }
  bool green() { return op->connected(); }

  // Types the address into the box and waits until it turns green.
  bool chooseTerminal(const std::string& address) {
    if (w().INP_IP.text() == address && green()) return true;
    op->typeAddress(address);
    return until([this] { return green(); }, 5000);
  }
  // Clicks UPDATE and waits until the window is back.
  bool updateAndWait() { return op->update(Micros(1'000'000'000)) == Operator::Update::Ran; }
  // A terminal's answer to the query, as the program receives it.
  void replyFrom(const std::string& address) {
    datagramFrom(address, "KORVEN," + address + ",00-16-AB,IPT");
  }
  void datagramFrom(const std::string& host, const std::string& bytes) {
    platform.network.sendUdp({host, 1024, "127.0.0.1", 2024, bytes, {}});
  }
  // Lists the terminals as discovery does, then switches all-terminals mode on.
  void allTerminals(std::initializer_list<const char*> addresses) {
    for (const char* a : addresses) replyFrom(a);
    advanceMs(1);
    w().SW_ALL.setValue(1);
  }
  void addImage(const std::string& name, const std::string& bytes) {
    op->writeImage(name, bytes);
    op->chooseImage(name);
  }

  TestPlatform platform;
  std::unique_ptr<Loader> loader;
  std::unique_ptr<Operator> op;
};

}  // namespace korven::testkit
