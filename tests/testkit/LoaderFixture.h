#pragma once

#include <gtest/gtest.h>

#include <memory>

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
    ASSERT_TRUE(loader->PROG_PRIN_Load());
    platform.dialogBoxes.shown.clear();
  }

  ProgPrin& w() { return loader->window(); }
  VirtualScheduler& time() { return platform.scheduler; }
  void advanceMs(long ms) { time().advance(Micros(ms * 1000)); }
  bool until(const std::function<bool()>& done, long limitMs = 600'000) {
    return time().advanceUntil(done, Micros(limitMs * 1000));
  }
  bool green() { return w().INP_IP.backColor() == w().VERT.backColor(); }

  // Types the address into the box and waits until it turns green.
  bool chooseTerminal(const std::string& address) {
    if (w().INP_IP.text() == address && green()) return true;
    w().INP_IP.setText("");
    w().INP_IP.userType(address);
    return until([this] { return green(); }, 5000);
  }
  // Clicks UPDATE and waits until the window is back.
  bool updateAndWait() {
    w().B_UPDATE.userClick();
    return until([this] { return w().PROG_PRIN.enabled(); }, 1'000'000);
  }
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
    platform.fileSystem.add(name, bytes);
    w().MENU_NOM_FICHIER.userFocusIn();
    for (int i = 0; i < w().MENU_NOM_FICHIER.itemCount(); ++i) {
      if (w().MENU_NOM_FICHIER.item(i) == name) w().MENU_NOM_FICHIER.userPick(i);
    }
    w().MENU_NOM_FICHIER.userFocusOut();
  }

  TestPlatform platform;
  std::unique_ptr<Loader> loader;
};

}  // namespace korven::testkit
