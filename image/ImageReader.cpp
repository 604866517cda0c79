#include "image/ImageReader.h"

#include <algorithm>

namespace korven {
namespace {

// Large enough to cross a big file of zeros quickly, small enough that the
// window gets its pending events often (a chunk is well under a millisecond
// from the page cache).
constexpr std::size_t kChunk = std::size_t{256} * 1024;

}  // namespace

ImageData readImageData(ByteReader& reader, EventLoop& events) {
  ImageData result;
  std::string chunk(kChunk, '\0');
  bool started = false;
  for (;;) {
    const long n = reader.read(chunk.data(), chunk.size());
    if (n < 0) return ImageData{ImageFailure::CannotRead, {}};
    if (n == 0) return started ? result : ImageData{ImageFailure::NoData, {}};
    auto begin = chunk.cbegin();
    const auto end = chunk.cbegin() + n;
    if (!started) {
      begin = std::find_if(begin, end, [](char c) { return c != '\0'; });
      if (begin == end) {
        events.processEvents();
        continue;
      }
      started = true;
    }
    if (result.bytes.size() + static_cast<std::size_t>(end - begin) > kMaxImageBytes) {
      return ImageData{ImageFailure::TooLarge, {}};
    }
    result.bytes.append(begin, end);
  }
}

ImageData readImageFile(Files& files, const std::string& path, EventLoop& events) {
  auto reader = files.openRead(path);
  if (!reader) return ImageData{ImageFailure::CannotRead, {}};
  return readImageData(*reader, events);
}

std::vector<std::string> cutIntoBlocks(const std::string& data) {
  std::vector<std::string> blocks;
  for (std::size_t at = 0; at < data.size(); at += kBlockSize) {
    blocks.push_back(data.substr(at, kBlockSize));
  }
  return blocks;
}

unsigned addToChecksum(unsigned running, std::string_view bytes) {
  for (char c : bytes) running = (running + static_cast<unsigned char>(c)) % 256;
  return running % 256;
}

std::uint8_t checksumOf(const std::string& data) {
  return static_cast<std::uint8_t>(addToChecksum(kChecksumStart, data));
}

}  // namespace korven
