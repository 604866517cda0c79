#include <gtest/gtest.h>

#include "shell/Loader.h"
#include "tests/testkit/TestPlatform.h"

namespace korven {
namespace {

const char* const kNotice =
    "Important: Before start this Talvoran software\r\n"
    "1. With the Mervaset software, set your device: MODE PASSIVE, AUTO BOOT OFF, KeepAlive OFF, "
    "Bridge OFF \r\n"
    "2. Disconnect and reconnect the device\r\n"
    "3. IP adress back color description: Green = OK and RED = ERROR";

TEST(Startup, ShowsTheWindowThenTheNoticeAndPreparesTheSockets) {
  testkit::TestPlatform platform;
  Loader loader(platform);
  ProgPrin& w = loader.window();
  bool windowShownUnderNotice = false;
  platform.dialogBoxes.onShown = [&](const std::string&, bool) {
    windowShownUnderNotice = w.PROG_PRIN.visible();
  };
  EXPECT_FALSE(w.PROG_PRIN.visible());

  ASSERT_TRUE(loader.PROG_PRIN_Load());

  ASSERT_EQ(platform.dialogBoxes.shown.size(), 1U);
  EXPECT_EQ(platform.dialogBoxes.shown[0].text, kNotice);
  EXPECT_TRUE(platform.dialogBoxes.shown[0].exclamation);
  EXPECT_TRUE(windowShownUnderNotice);
  EXPECT_EQ(w.AFF_CURDIR.text(), "/work/");
  EXPECT_EQ(w.UDP_TX->remoteHost(), "255.255.255.255");
  EXPECT_EQ(w.TIM_UDP_CALL->interval(), 500);
  EXPECT_EQ(w.TIM_CON->interval(), 200);
}

TEST(Startup, AFolderAtTheRootGetsASecondSeparator) {
  testkit::TestPlatform platform;
  platform.fileSystem.folder = "/";
  Loader loader(platform);
  ASSERT_TRUE(loader.PROG_PRIN_Load());
  EXPECT_EQ(loader.window().AFF_CURDIR.text(), "//");
}

TEST(Startup, PortTakenOrTimersRefusedEndStartupAfterTheNoticeSavingNothing) {
  for (const bool timersRefused : {false, true}) {
    testkit::TestPlatform platform;
    platform.scheduler.refuseTimers = timersRefused;
    if (!timersRefused) platform.network.occupyUdpPort(2024);
    Loader loader(platform);

    EXPECT_FALSE(loader.PROG_PRIN_Load());

    ASSERT_EQ(platform.dialogBoxes.shown.size(), 2U);
    EXPECT_EQ(platform.dialogBoxes.shown[0].text, kNotice);
    EXPECT_EQ(platform.dialogBoxes.shown[1].text, "ERROR: SWITCH THE LIBRARY IN CONFIG MODE !");
    EXPECT_FALSE(platform.dialogBoxes.shown[1].exclamation);
    EXPECT_EQ(loader.window().TIM_UDP_CALL->interval(), 0);
    EXPECT_EQ(loader.window().TIM_CON->interval(), 0);
    EXPECT_EQ(platform.fileSystem.replaceCalls, 0);
  }
}

}  // namespace
}  // namespace korven

namespace korven {
namespace {

TEST(Startup, TheImageListIsBuiltOrTheUnlistableFolderEndsStartup) {
  testkit::TestPlatform platform;
  platform.fileSystem.add("FIRST.BIN");
  platform.fileSystem.add("A.BIN");
  Loader loader(platform);
  ASSERT_TRUE(loader.PROG_PRIN_Load());
  EXPECT_EQ(loader.window().NOM_FICHIER.text(), "FIRST.BIN");
  EXPECT_EQ(loader.window().MENU_NOM_FICHIER.itemCount(), 2);

  testkit::TestPlatform gone;
  gone.fileSystem.folderListable = false;
  Loader failing(gone);
  EXPECT_FALSE(failing.PROG_PRIN_Load());
  EXPECT_EQ(gone.dialogBoxes.texts().back(), "ERROR: SWITCH THE LIBRARY IN CONFIG MODE !");
}

}  // namespace
}  // namespace korven
