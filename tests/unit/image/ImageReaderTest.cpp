#include <gtest/gtest.h>

#include "image/ImageReader.h"
#include "image/Sha256.h"
#include "tests/testkit/TestPlatform.h"

namespace korven {
namespace {

struct Read {
  ImageData data;
  std::vector<std::string> blocks;
  int checksum;
};

Read readNamed(testkit::TestPlatform& p, const std::string& name) {
  ImageData data = readImageFile(p.fileSystem, p.fileSystem.pathOf(name), p.scheduler);
  auto blocks = cutIntoBlocks(data.bytes);
  const int checksum = checksumOf(data.bytes);
  return Read{std::move(data), std::move(blocks), checksum};
}

std::string bytes(std::size_t n, char first = 'A') {
  std::string s(n, 'x');
  if (n > 0) s[0] = first;
  return s;
}

TEST(ImageReader, CutsBlocksAndSumsOnlyTheBytesHandedOn) {
  testkit::TestPlatform p;
  p.fileSystem.add("64.BIN", bytes(64));
  p.fileSystem.add("65.BIN", bytes(65));
  p.fileSystem.add("LEAD.BIN", std::string(1000, '\0') + bytes(64, 0x41));
  p.fileSystem.add("ZERO_IN.BIN", std::string("\x00\x07\x00\x00\x05", 5));
  p.fileSystem.add("ZEROS.BIN", std::string(5000, '\0'));
  p.fileSystem.add("EMPTY.BIN", "");
  p.fileSystem.add("ABC.BIN", "abc");

  auto r = readNamed(p, "64.BIN");
  EXPECT_EQ(r.blocks, (std::vector<std::string>{bytes(64)}));
  r = readNamed(p, "65.BIN");
  ASSERT_EQ(r.blocks.size(), 2U);
  EXPECT_EQ(r.blocks[0].size(), 64U);
  EXPECT_EQ(r.blocks[1], "x");
  r = readNamed(p, "LEAD.BIN");
  ASSERT_EQ(r.blocks.size(), 1U);
  EXPECT_EQ(r.blocks[0], bytes(64, 0x41)) << "leading zeros are neither sent nor summed";
  EXPECT_EQ(r.checksum, (568 + 0x41 + 63 * 'x') % 256);
  r = readNamed(p, "ZERO_IN.BIN");
  EXPECT_EQ(r.blocks, (std::vector<std::string>{std::string("\x07\x00\x00\x05", 4)}));
  EXPECT_EQ(r.checksum, (568 + 7 + 5) % 256);
  for (const char* name : {"ZEROS.BIN", "EMPTY.BIN"}) {
    EXPECT_EQ(readNamed(p, name).data.failure, ImageFailure::NoData) << name;
  }
  EXPECT_EQ(readNamed(p, "ABC.BIN").checksum, 0x5E);
}

// The digest names the file as it lies on disk, zeros and all, so that it
// compares with what sha256sum says of it; it is fed a chunk at a time.
TEST(ImageReader, TheDigestIsTheWholeFilesSha256) {
  EXPECT_EQ(sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  testkit::TestPlatform p;
  p.fileSystem.add("Z.BIN", std::string(100, 'x')).leadingZeros = 300 * 1024;
  EXPECT_EQ(readNamed(p, "Z.BIN").data.sha256,
            "c9f77386bc7ca537890720f7a937750c5723805fee4fbecf06628f32f0264f13");
}

TEST(ImageReader, AcceptsExactly991BlocksAndRefusesOneByteMore) {
  testkit::TestPlatform p;
  p.fileSystem.add("MAX.BIN", std::string(10, '\0') + bytes(63424));
  p.fileSystem.add("OVER.BIN", std::string(10, '\0') + bytes(63425));
  auto r = readNamed(p, "MAX.BIN");
  EXPECT_FALSE(r.data.failure);
  EXPECT_EQ(r.blocks.size(), 991U);
  r = readNamed(p, "OVER.BIN");
  EXPECT_EQ(r.data.failure, ImageFailure::TooLarge);
  EXPECT_TRUE(r.blocks.empty()) << "nothing is handed on from a refused image";

  // A file far too large is refused without being read whole.
  p.fileSystem.add("HUGE.BIN", std::string(8U << 20, 'y')).failReadAfter = 1 << 20;
  EXPECT_EQ(readNamed(p, "HUGE.BIN").data.failure, ImageFailure::TooLarge);
}

TEST(ImageReader, UnreadableFilesAreRefusedAsSuch) {
  testkit::TestPlatform p;
  p.fileSystem.add("LOCKED.BIN", "abc").cannotOpen = true;
  p.fileSystem.add("BROKEN.BIN", bytes(1000)).failReadAfter = 0;
  p.fileSystem.add("DIR.BIN").folder = true;
  for (const char* name : {"LOCKED.BIN", "BROKEN.BIN", "DIR.BIN", "MISSING.BIN"}) {
    EXPECT_EQ(readNamed(p, name).data.failure, ImageFailure::CannotRead) << name;
  }
}

TEST(ImageReader, ALargeFileOfZerosKeepsTheWindowProcessingEvents) {
  testkit::TestPlatform p;
  p.fileSystem.add("Z.BIN", "\x42").leadingZeros = 200ULL << 20;
  const auto before = p.scheduler.processEventsCalls();
  const auto r = readNamed(p, "Z.BIN");
  EXPECT_EQ(r.blocks, (std::vector<std::string>{"\x42"}));
  // One pause at least every 256 KiB of zeros: 800 for 200 MiB.
  EXPECT_GE(p.scheduler.processEventsCalls() - before, 800U);
}

}  // namespace
}  // namespace korven
