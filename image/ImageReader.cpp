#include "image/ImageReader.h"

#include <algorithm>

#include "image/Sha256.h"

namespace korven {
namespace {

// Large enough to cross a big file of zeros quickly, small enough that the
// window gets its pending events often (a chunk is well under a millisecond
// from the page cache).
constexpr std::size_t kChunk = std::size_t{256} * 1024;

}  // namespace

ImageData readImageData(ByteReader& reader, EventLoop& events) {
  ImageData result;
  // The digest names the file as it lay on disk, zeros and all, so that it
  // can be checked against the one its maker published.
  Sha256 digest;
  std::string chunk(kChunk, '\0');
  bool started = false;
  for (;;) {
    const long n = reader.read(chunk.data(), chunk.size());
    if (n < 0) return ImageData{ImageFailure::CannotRead, {}, {}};
    if (n == 0) {
      if (!started) return ImageData{ImageFailure::NoData, {}, {}};
      result.sha256 = digest.hex();
      return result;
    }
    digest.add(std::string_view(chunk.data(), static_cast<std::size_t>(n)));
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
      return ImageData{ImageFailure::TooLarge, {}, {}};
    }
    result.bytes.append(begin, end);
  }
}

ImageData readImageFile(Files& files, const std::string& path, EventLoop& events) {
  auto reader = files.openRead(path);
  if (!reader) return ImageData{ImageFailure::CannotRead, {}, {}};
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
