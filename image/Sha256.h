#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace korven {

// SHA-256 of a byte stream fed in pieces: the digest by which a run's image
// is named in its report, the same as sha256sum prints for the file.
class Sha256 {
 public:
  Sha256();
  void add(std::string_view bytes);
  // The digest as 64 lower-case hex digits; the object is spent after.
  std::string hex();

 private:
  void compress(const unsigned char* block);

  std::array<std::uint32_t, 8> state_;
  std::array<unsigned char, 64> pending_{};
  std::size_t pendingBytes_ = 0;
  std::uint64_t totalBytes_ = 0;
};

std::string sha256Hex(std::string_view bytes);

}  // namespace korven
