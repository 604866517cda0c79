#include <gtest/gtest.h>

#include "image/ImageChoice.h"
#include "tests/testkit/TestPlatform.h"

namespace korven {
namespace {

class ImageChoiceTest : public ::testing::Test {
 protected:
  ImageChoiceTest() { w.AFF_CURDIR.setText("/work/"); }
  testkit::TestPlatform p;
  ProgPrin w{p};
  ImageChoice choice{w, p.fileSystem};
};

TEST_F(ImageChoiceTest, TheFolderOrderChoosesTheListIsSorted) {
  p.fileSystem.add("B.BIN");
  p.fileSystem.add("a.bin");
  ASSERT_TRUE(choice.MENU_NOM_FICHIER_GotFocus());
  EXPECT_EQ(w.MENU_NOM_FICHIER.items(), (std::vector<std::string>{"a.bin", "B.BIN"}));
  EXPECT_EQ(w.MENU_NOM_FICHIER.text(), "B.BIN");
  EXPECT_EQ(w.NOM_FICHIER.text(), "B.BIN");
  EXPECT_EQ(w.MENU_NOM_FICHIER.toolTip(), "B.BIN");
  EXPECT_EQ(choice.chosenImagePath(), "/work/B.BIN");
}

TEST_F(ImageChoiceTest, PickingAndReentering) {
  p.fileSystem.add("B.BIN");
  p.fileSystem.add("A.BIN");
  w.MENU_NOM_FICHIER.userFocusIn();
  w.MENU_NOM_FICHIER.userPick(0);
  EXPECT_EQ(w.NOM_FICHIER.text(), "A.BIN");
  EXPECT_EQ(w.MENU_NOM_FICHIER.toolTip(), "A.BIN");

  // Entering again rebuilds the list and goes back to the folder's first name.
  w.MENU_NOM_FICHIER.userFocusIn();
  w.MENU_NOM_FICHIER.userFocusOut();
  EXPECT_EQ(w.NOM_FICHIER.text(), "B.BIN");
}

TEST_F(ImageChoiceTest, NoWatchdogPresetHoldsUntilTheNextEntry) {
  p.fileSystem.add("B.BIN");
  choice.MENU_NOM_FICHIER_GotFocus();
  w.Command7.userClick();
  EXPECT_EQ(w.NOM_FICHIER.text(), "02.BIN");
  EXPECT_EQ(w.MENU_NOM_FICHIER.text(), "B.BIN");
  EXPECT_EQ(w.MENU_NOM_FICHIER.toolTip(), "B.BIN");
  w.MENU_NOM_FICHIER.userFocusIn();
  EXPECT_EQ(w.NOM_FICHIER.text(), "B.BIN");
}

TEST_F(ImageChoiceTest, NoImageOrNoFolder) {
  ASSERT_TRUE(choice.MENU_NOM_FICHIER_GotFocus());
  EXPECT_EQ(w.NOM_FICHIER.text(), "BOOT.BIN") << "an empty folder keeps the design name";
  EXPECT_EQ(w.MENU_NOM_FICHIER.itemCount(), 0);

  p.fileSystem.add("B.BIN");
  choice.MENU_NOM_FICHIER_GotFocus();
  w.NOM_FICHIER.setText("KEPT.BIN");
  p.fileSystem.folderListable = false;
  EXPECT_FALSE(choice.MENU_NOM_FICHIER_GotFocus());
  EXPECT_EQ(w.MENU_NOM_FICHIER.itemCount(), 0);
  EXPECT_EQ(w.NOM_FICHIER.text(), "KEPT.BIN") << "a folder gone away changes nothing else";
}

}  // namespace
}  // namespace korven
