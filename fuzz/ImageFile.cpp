// Any bytes as an image file. The first input byte B puts B * 1031 zero
// bytes before the rest (up to 263 KB, past the reader's 256 KiB chunk); the
// rest is the file's content as it is.
#include <cstdint>
#include <string>

#include "fuzz/Require.h"
#include "image/ImageReader.h"
#include "tests/testkit/TestPlatform.h"

using korven::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string content(reinterpret_cast<const char*>(data) + 1, size - 1);
  korven::testkit::TestPlatform platform;
  platform.fileSystem.add("FUZZ.BIN", content).leadingZeros = std::uint64_t{data[0]} * 1031;

  const korven::ImageData image = korven::readImageFile(
      platform.fileSystem, platform.fileSystem.pathOf("FUZZ.BIN"), platform.scheduler);
  const std::size_t start = content.find_first_not_of('\0');
  const std::string expected = start == std::string::npos ? "" : content.substr(start);
  if (expected.size() > korven::kMaxImageBytes) {
    require(image.failure == korven::ImageFailure::TooLarge, "more than 991 blocks is refused");
    return 0;
  }
  if (expected.empty()) {
    require(image.failure == korven::ImageFailure::NoData, "a file of no data is refused");
    return 0;
  }
  require(!image.failure, "an image of at most 991 blocks is read");

  std::string joined;
  unsigned running = korven::kChecksumStart;
  const auto blocks = korven::cutIntoBlocks(image.bytes);
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    const std::size_t length = blocks[i].size();
    require(length >= 1 && length <= 64, "a block holds 1 to 64 bytes");
    require(length == 64 || i + 1 == blocks.size(), "only the last block is short");
    joined += blocks[i];
    running = korven::addToChecksum(running, blocks[i]);
  }
  require(blocks.size() <= korven::kMaxBlocks, "at most 991 blocks");
  require(joined == expected, "the blocks re-joined are the file from its first non-zero byte");

  unsigned sum = 568;  // FB 08 C9 08 64, the end marker
  for (char c : expected) sum += static_cast<unsigned char>(c);
  require(running == sum % 256, "the running checksum adds the blocks");
  require(korven::checksumOf(image.bytes) == sum % 256, "the checksum is (568 + the data) mod 256");
  return 0;
}
