#pragma once

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "sim/StreamCheck.h"

// The pieces a stream is judged by, and the words its verdict uses.
namespace korven::sim::stream {

std::string hexByte(unsigned char b);
// Whole milliseconds for the usual sizes, one decimal below 10 ms.
std::string millis(TimeUs us);
std::string plural(std::size_t n, const char* one, const char* many);
// The first numbers of a list, "1, 2, 3, 4, 5, ..."
std::string numberList(const std::vector<std::size_t>& numbers);

// The received bytes in one string, with where each read and each piece
// began, so a position can be told its arrival time and whether the sender
// paused before it.
class Received {
 public:
  Received(const std::vector<Chunk>& chunks, TimeUs pieceGap) {
    TimeUs last = 0;
    for (const Chunk& c : chunks) {
      if (c.bytes.empty()) continue;
      if (reads_.empty() || c.at - last >= pieceGap) pieceStarts_.push_back(all_.size());
      reads_.push_back({all_.size(), c.at});
      all_ += c.bytes;
      last = c.at;
    }
  }

  const std::string& bytes() const { return all_; }
  std::size_t size() const { return all_.size(); }
  unsigned char at(std::size_t i) const { return static_cast<unsigned char>(all_[i]); }

  TimeUs timeOf(std::size_t offset) const {
    auto it = std::upper_bound(reads_.begin(), reads_.end(), offset,
                               [](std::size_t o, const Read& r) { return o < r.offset; });
    return std::prev(it)->at;
  }
  bool startsPiece(std::size_t offset) const {
    return std::binary_search(pieceStarts_.begin(), pieceStarts_.end(), offset);
  }
  // The first piece start after offset, or the end.
  std::size_t nextPieceStart(std::size_t offset) const {
    auto it = std::upper_bound(pieceStarts_.begin(), pieceStarts_.end(), offset);
    return it == pieceStarts_.end() ? all_.size() : *it;
  }
  std::size_t piecesIn(std::size_t begin, std::size_t end) const {
    return static_cast<std::size_t>(
        std::lower_bound(pieceStarts_.begin(), pieceStarts_.end(), end) -
        std::lower_bound(pieceStarts_.begin(), pieceStarts_.end(), begin));
  }

 private:
  struct Read {
    std::size_t offset;
    TimeUs at;
  };
  std::string all_;
  std::vector<Read> reads_;
  std::vector<std::size_t> pieceStarts_;
};

struct Range {
  std::size_t begin;
  std::size_t end;
};

// One piece of the stream as the timetable sees it.
struct Element {
  enum Kind { BootByte, BootWhole, Block, Marker, Checksum, Close } kind;
  int number;  // from 1 within its kind
  TimeUs at;
};

std::string label(const Element& e);
// "block 4->5", "marker 5->checksum", "boot byte 9->block 1".
std::string gapName(const Element& from, const Element& to);

}  // namespace korven::sim::stream
