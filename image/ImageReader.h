#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/EventLoop.h"
#include "platform/Files.h"

namespace korven {

inline constexpr std::size_t kBlockSize = 64;
// The send table holds the head, at most this many blocks, and the tail.
inline constexpr std::size_t kMaxBlocks = 991;
inline constexpr std::size_t kMaxImageBytes = kBlockSize * kMaxBlocks;  // 63,424
// The five end-marker bytes FB 08 C9 08 64 add up to 568.
inline constexpr unsigned kChecksumStart = 568;

// NoData: nothing after the leading zero bytes (an empty file, or only
// zeros): a boot request followed by no block would leave a terminal in its
// boot loader with nothing to run.
enum class ImageFailure { CannotRead, TooLarge, NoData };

struct ImageData {
  std::optional<ImageFailure> failure;
  std::string bytes;   // from the first non-zero byte to the end of the file
  std::string sha256;  // of the whole file as read, leading zeros included
};

// Reads a file from its first non-zero byte to its end. The leading zero
// bytes are skipped a chunk at a time, letting pending events run after
// each chunk, so a large file of zeros neither freezes the window nor takes
// long. Reading stops as soon as the data passes kMaxImageBytes.
ImageData readImageData(ByteReader& reader, EventLoop& events);
ImageData readImageFile(Files& files, const std::string& path, EventLoop& events);

// The image cut into blocks of 64 bytes, the last one shorter.
std::vector<std::string> cutIntoBlocks(const std::string& data);

// (568 + the sum of the data bytes) modulo 256.
std::uint8_t checksumOf(const std::string& data);
// The running checksum after `bytes` more (running starts at kChecksumStart).
unsigned addToChecksum(unsigned running, std::string_view bytes);

}  // namespace korven
