#include <gtest/gtest.h>

#include "update/SendTable.h"

namespace korven {
namespace {

const std::string kBoot("\x01\x30\x30\x54\xFB\x08\xC9\x08\x64", 9);

void expectTail(const SendTable& t, int firstMarker, char checksum) {
  const std::string marker("\xFB\x08\xC9\x08\x64", 5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(t.TAB_ENV[firstMarker + i], std::string(1, marker[i])) << "marker byte " << i;
  }
  EXPECT_EQ(t.TAB_ENV[firstMarker + 5], std::string(1, checksum));
  EXPECT_EQ(t.TAB_ENV[firstMarker + 6], "");
  EXPECT_EQ(t.NB_ENV, firstMarker + 6);
}

TEST(SendTable, LayoutForZeroOneTwoAndMostBlocks) {
  SendTable t;
  EXPECT_EQ(t.lay({}, 0x38), 9);
  EXPECT_EQ(t.TAB_ENV[2], kBoot);
  expectTail(t, 3, 0x38);

  EXPECT_EQ(t.lay({std::string(64, '\xEE')}, 0x11), 10);
  EXPECT_EQ(t.TAB_ENV[3], std::string(64, '\xEE'));
  expectTail(t, 4, 0x11);

  EXPECT_EQ(t.lay({std::string(64, 'a'), "b"}, 0xFF), 11);
  EXPECT_EQ(t.TAB_ENV[4], "b");
  expectTail(t, 5, '\xFF');

  std::vector<std::string> most(991, std::string(64, 'm'));
  most.back() = "end";
  EXPECT_EQ(t.lay(most, 0x80), 1000);
  EXPECT_EQ(t.TAB_ENV[993], "end");
  expectTail(t, 994, '\x80');

  // A shorter update later leaves the rest of the table as it was.
  t.lay({}, 0x38);
  EXPECT_EQ(t.TAB_ENV[993], "end");
}

}  // namespace
}  // namespace korven
