#include <gtest/gtest.h>

#include "rollout/Waves.h"

namespace korven {
namespace {

std::vector<int> cut(int terminals, const std::string& sizes) {
  return waveCounts(terminals, *parseWaveSizes(sizes));
}

// As Ansible's serial: a percentage rounded down but at least one terminal,
// the last size repeated, the last wave what is left.
TEST(WaveCounts, ACanaryThenPercentagesCoverEveryTerminalOnce) {
  EXPECT_EQ(cut(100, "1,10%,100%"), (std::vector<int>{1, 10, 89}));
  EXPECT_EQ(cut(10, "2,3"), (std::vector<int>{2, 3, 3, 2}));
  EXPECT_EQ(cut(3, "10%"), (std::vector<int>{1, 1, 1}));
  EXPECT_EQ(cut(1, "5,50%"), (std::vector<int>{1}));
  // A count past any site's terminals is all of them, not an overflow.
  EXPECT_EQ(cut(4, "99999999999"), (std::vector<int>{4}));
  EXPECT_EQ(shareText(*parseWaveSizes("1,10%,2.5%")), "1,10%,2.5%");
  for (const char* bad : {"", "0", "1,,2", "150%", "-1", "2.5", "a"}) {
    EXPECT_FALSE(parseWaveSizes(bad)) << bad;
  }
}

}  // namespace
}  // namespace korven
