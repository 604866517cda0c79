#include <gtest/gtest.h>

#include "discovery/Frames.h"

namespace korven {
namespace {

TEST(Frames, TheQueryByteForByte) {
  const std::string q = frames::query();
  ASSERT_EQ(q.size(), 36U);
  EXPECT_EQ(q.substr(0, 5), std::string("\xFE\xFF\x01\xFF\x01", 5));
  for (std::size_t at : {5U, 13U, 21U}) {
    EXPECT_EQ(q.substr(at, 7), "0.0.0.0") << at;
    EXPECT_EQ(q[at + 7], '\r') << at;
  }
  EXPECT_EQ(q[29], '\xFD');
  EXPECT_EQ(q.substr(30), std::string(6, '\0'));
}

TEST(Frames, ReplyAddressIsTheTextBetweenTheFirstTwoCommas) {
  EXPECT_EQ(frames::replyAddress("KORVEN,127.0.0.7,00-16-AB-00-00-07,IPT-7"), "127.0.0.7");
  EXPECT_EQ(frames::replyAddress("head,10.0.0.1,"), "10.0.0.1");
  EXPECT_EQ(frames::replyAddress(",,tail"), "") << "an empty field is an address too";
  EXPECT_EQ(frames::replyAddress(std::string("\x00,\xFF\x80\x00,x", 7)),
            std::string("\xFF\x80\x00", 3));
  EXPECT_FALSE(frames::replyAddress(""));
  EXPECT_FALSE(frames::replyAddress("no commas"));
  EXPECT_FALSE(frames::replyAddress("one,comma"));
  EXPECT_EQ(frames::replyAddress("a,10.0.0.1 ,b"), "10.0.0.1 ") << "nothing is trimmed";
}

}  // namespace
}  // namespace korven
