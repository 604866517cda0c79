#include "sim/StreamCheck.h"

#include "sim/ReceivedStream.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace korven::sim {

namespace {

using namespace stream;  // NOLINT: the pieces and words of this checker

constexpr TimeUs kSecond = 1'000'000;
constexpr TimeUs kTailPause = 600'000;
// From this many blocks on, the last pieces go at the slow tail pause; a
// shorter image keeps the block pace to the end.
constexpr int kTailFromBlocks = 3;
// How many cases of one kind of problem are named before they are counted.
constexpr std::size_t kNamedCases = 3;

class Checker {
 public:
  Checker(const std::vector<Chunk>& chunks, std::optional<TimeUs> closedAt,
          const Expectations& expect)
      : rx_(chunks, expect.pieceGap), closedAt_(closedAt), expect_(expect) {}

  Verdict run() {
    v_.bytes = rx_.size();
    std::size_t pos = parseBoot();
    const std::size_t dataEnd = parseTail(pos);
    cutBlocks(pos, dataEnd);
    judgeChecksum(pos, dataEnd);
    judgeImage(pos, dataEnd);
    judgeTimetable();
    return std::move(v_);
  }

 private:
  void problem(std::string text) { v_.problems.push_back(std::move(text)); }

  std::size_t parseBoot() {
    const std::string& all = rx_.bytes();
    std::size_t same = 0;
    while (same < kBootRequest.size() && same < all.size() && all[same] == kBootRequest[same]) {
      ++same;
    }
    if (same < kBootRequest.size()) {
      if (same == all.size() && same > 0) {
        problem("boot request incomplete: " + std::to_string(same) + " of 9 bytes");
        return same;
      }
      if (same == 0) {
        problem("boot request missing");
        return 0;
      }
      // A damaged boot request: the rest is still judged as what follows it.
      problem("boot request differs at byte " + std::to_string(same + 1));
      return std::min(all.size(), kBootRequest.size());
    }
    const std::size_t pieces = rx_.piecesIn(0, kBootRequest.size());
    const bool whole = pieces == 1;
    v_.boot = whole ? "whole" : "bytes";
    if (expect_.boot == BootStyle::Bytes) {
      if (whole) {
        problem("boot request sent whole, expected byte by byte");
      } else if (pieces != kBootRequest.size()) {
        problem("boot request arrived in " + std::to_string(pieces) +
                " pieces, expected 9 single bytes");
      }
    } else if (!whole) {
      problem(pieces == kBootRequest.size()
                  ? std::string("boot request sent byte by byte, expected whole")
                  : "boot request arrived in " + std::to_string(pieces) + " pieces, expected one");
    }
    if (whole) {
      elements_.push_back({Element::BootWhole, 1, rx_.timeOf(0)});
    } else {
      for (std::size_t i = 0; i < kBootRequest.size(); ++i) {
        elements_.push_back({Element::BootByte, static_cast<int>(i + 1), rx_.timeOf(i)});
      }
    }
    return kBootRequest.size();
  }

  bool piecesStartAt(std::size_t from, std::size_t count) const {
    for (std::size_t i = 0; i < count; ++i) {
      if (!rx_.startsPiece(from + i)) return false;
    }
    return true;
  }

  // Reads the end marker and the checksum from the back, so that a short
  // last block that happens to hold FB or 08 is not taken for them.
  // Returns where the data ends.
  std::size_t parseTail(std::size_t pos) {
    const std::string& all = rx_.bytes();
    const std::size_t n = all.size();
    const std::size_t rest = n - pos;
    const std::size_t m = kEndMarker.size();
    if (rest >= m + 1 && all.compare(n - m - 1, m, kEndMarker) == 0) {
      markerAt_ = n - m - 1;
      markerBytes_ = m;
      checksumAt_ = n - 1;
      return n - m - 1;
    }
    if (rest >= m && all.compare(n - m, m, kEndMarker) == 0) {
      markerAt_ = n - m;
      markerBytes_ = m;
      return n - m;
    }
    // Something after the checksum: the marker is still found if each of its
    // bytes came as a piece of its own.
    for (std::size_t p = n >= m + 1 ? n - m - 1 : 0; rest >= m + 1 && p-- > pos;) {
      if (all.compare(p, m, kEndMarker) == 0 && piecesStartAt(p, m)) {
        markerAt_ = p;
        markerBytes_ = m;
        checksumAt_ = p + m;
        trailing_ = n - (p + m + 1);
        return p;
      }
    }
    // Cut off inside the marker. Two bytes at least, since a one-byte last
    // block may be FB.
    for (std::size_t k = m - 1; k >= 2; --k) {
      if (rest >= k && all.compare(n - k, k, kEndMarker, 0, k) == 0 && piecesStartAt(n - k, k)) {
        markerAt_ = n - k;
        markerBytes_ = k;
        return n - k;
      }
    }
    return n;
  }

  void cutBlocks(std::size_t pos, std::size_t dataEnd) {
    // A block ends where the sender paused, or after 64 bytes: two blocks
    // that arrived as one piece are still two blocks, sent too early.
    for (std::size_t o = pos; o < dataEnd;) {
      const std::size_t end = std::min({dataEnd, rx_.nextPieceStart(o), o + kBlockSize});
      blocks_.push_back({o, end});
      o = end;
    }
    v_.blocks = static_cast<int>(blocks_.size());
    std::vector<std::size_t> wrongSize;
    for (std::size_t i = 0; i + 1 < blocks_.size(); ++i) {
      if (blocks_[i].end - blocks_[i].begin != kBlockSize) wrongSize.push_back(i);
    }
    for (std::size_t k = 0; k < wrongSize.size() && k < kNamedCases; ++k) {
      const Range& b = blocks_[wrongSize[k]];
      problem("block " + std::to_string(wrongSize[k] + 1) + " has " +
              std::to_string(b.end - b.begin) + " bytes, expected 64");
    }
    if (wrongSize.size() > kNamedCases) {
      problem(plural(wrongSize.size() - kNamedCases, "more block", "more blocks") +
              " of the wrong size");
    }
    for (std::size_t i = 0; i < blocks_.size(); ++i) {
      elements_.push_back({Element::Block, static_cast<int>(i + 1), rx_.timeOf(blocks_[i].begin)});
    }
    if (markerAt_) {
      for (std::size_t i = 0; i < markerBytes_; ++i) {
        elements_.push_back({Element::Marker, static_cast<int>(i + 1), rx_.timeOf(*markerAt_ + i)});
      }
      if (markerBytes_ < kEndMarker.size()) {
        problem("end marker incomplete: " + std::to_string(markerBytes_) + " of 5 bytes");
      }
    } else {
      problem("end marker missing");
    }
  }

  void judgeChecksum(std::size_t pos, std::size_t dataEnd) {
    if (!checksumAt_) {
      problem("checksum missing");
      return;
    }
    elements_.push_back({Element::Checksum, 1, rx_.timeOf(*checksumAt_)});
    const unsigned char got = rx_.at(*checksumAt_);
    const unsigned char want =
        streamChecksum(std::string_view(rx_.bytes()).substr(pos, dataEnd - pos));
    v_.checksum = got == want ? "ok" : "wrong";
    if (got != want) problem("checksum wrong: got " + hexByte(got) + ", expected " + hexByte(want));
    if (trailing_ > 0) {
      problem(plural(trailing_, "unexpected byte", "unexpected bytes") + " after the checksum");
    } else if (closedAt_) {
      elements_.push_back({Element::Close, 1, *closedAt_});
    }
  }

  std::string_view blockBytes(const Range& r) const {
    return std::string_view(rx_.bytes()).substr(r.begin, r.end - r.begin);
  }

  void judgeImage(std::size_t pos, std::size_t dataEnd) {
    if (!expect_.image) return;
    const std::string& image = *expect_.image;
    const std::string_view data = std::string_view(rx_.bytes()).substr(pos, dataEnd - pos);
    if (data == image) {
      v_.image = "match";
      return;
    }
    v_.image = "differs";
    std::vector<std::string_view> want;
    for (std::size_t o = 0; o < image.size(); o += kBlockSize) {
      want.push_back(std::string_view(image).substr(o, kBlockSize));
    }
    // Walk both block lists side by side; a block that matches the next
    // image block means one went missing, a block followed by the expected
    // one is an extra. Only what is left is a changed block, so one lost
    // block does not make every later block "differ".
    std::vector<std::size_t> missing;
    std::vector<std::size_t> extra;
    std::vector<std::pair<std::size_t, std::size_t>> differs;  // block, byte (from 1)
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < blocks_.size() && j < want.size()) {
      const std::string_view got = blockBytes(blocks_[i]);
      if (got == want[j]) {
        ++i;
        ++j;
      } else if (j + 1 < want.size() && got == want[j + 1]) {
        missing.push_back(++j);
      } else if (i + 1 < blocks_.size() && blockBytes(blocks_[i + 1]) == want[j]) {
        extra.push_back(++i);
      } else {
        std::size_t at = 0;
        while (at < got.size() && at < want[j].size() && got[at] == want[j][at]) ++at;
        differs.emplace_back(++i, at + 1);
        ++j;
      }
    }
    while (j < want.size()) missing.push_back(++j);
    while (i < blocks_.size()) extra.push_back(++i);
    if (!missing.empty()) {
      problem(plural(missing.size(), "block missing", "blocks missing") +
              (missing.size() == 1 ? " (image block " : " (image blocks ") + numberList(missing) +
              ")");
    }
    if (!extra.empty()) {
      problem(plural(extra.size(), "extra block", "extra blocks") +
              (extra.size() == 1 ? " (received block " : " (received blocks ") + numberList(extra) +
              ")");
    }
    for (std::size_t k = 0; k < differs.size() && k < kNamedCases; ++k) {
      problem("block " + std::to_string(differs[k].first) + " differs from the image at byte " +
              std::to_string(differs[k].second));
    }
    if (differs.size() > kNamedCases) {
      problem(plural(differs.size() - kNamedCases, "more block differs", "more blocks differ") +
              " from the image");
    }
  }

  // How many blocks the sender had, which sets where its slow tail begins:
  // what arrived before the end marker; in a stream cut short, the image's
  // count; with neither, unknown, and no block gap is taken for the tail.
  int senderBlocks() const {
    if (markerAt_) return v_.blocks;
    if (expect_.image)
      return static_cast<int>((expect_.image->size() + kBlockSize - 1) / kBlockSize);
    return -1;
  }

  GapKind kindOf(const Element& from, const Element& to) const {
    const bool fromBoot = from.kind == Element::BootByte || from.kind == Element::BootWhole;
    if (fromBoot) return to.kind == Element::BootByte ? GapKind::BootByte : GapKind::BootToData;
    switch (to.kind) {
      case Element::Block:
        return to.number == senderBlocks() && senderBlocks() >= kTailFromBlocks ? GapKind::Tail
                                                                                : GapKind::Block;
      case Element::Close:
        return GapKind::Close;
      default:
        return GapKind::Tail;
    }
  }

  TimeUs expected(GapKind kind) const {
    const TimeUs bootPause = expect_.goBoot ? kSecond : 3 * kSecond;
    const TimeUs afterBoot = expect_.goBoot ? kSecond : 3 * kSecond;
    const TimeUs beforeFirst = expect_.goBoot ? 5 * kSecond : 3 * kSecond;
    const TimeUs tail = senderBlocks() >= kTailFromBlocks ? kTailPause : expect_.pace;
    switch (kind) {
      case GapKind::BootByte:
        return bootPause;
      case GapKind::BootToData:
        // A boot request sent byte by byte has its last byte's own pause too.
        return (v_.boot == "whole" ? 0 : bootPause) + afterBoot + beforeFirst;
      case GapKind::Block:
        return expect_.pace;
      case GapKind::Tail:
      case GapKind::Close:
        break;
    }
    return tail;
  }

  void judgeTimetable() {
    for (std::size_t k = 0; k < kGapKinds; ++k) v_.gaps[k].expected = expected(GapKind(k));
    std::array<std::vector<std::string>, kGapKinds> early;
    std::array<std::vector<std::string>, kGapKinds> late;
    for (std::size_t i = 1; i < elements_.size(); ++i) {
      const Element& from = elements_[i - 1];
      const Element& to = elements_[i];
      const auto k = static_cast<std::size_t>(kindOf(from, to));
      GapStats& s = v_.gaps[k];
      const TimeUs d = to.at - from.at;
      s.min = s.count == 0 ? d : std::min(s.min, d);
      s.max = s.count == 0 ? d : std::max(s.max, d);
      ++s.count;
      ++s.lateMs[d > s.expected ? static_cast<int>((d - s.expected) / 1000) : 0];
      if (d < s.expected) {
        s.worstEarly = std::max(s.worstEarly, s.expected - d);
        if (s.expected - d > expect_.earlyTolerance) {
          ++s.earlyCount;
          early[k].push_back("gap " + gapName(from, to) + " early by " + millis(s.expected - d));
        }
      } else {
        s.worstLate = std::max(s.worstLate, d - s.expected);
        const bool frozenWait = k == static_cast<std::size_t>(GapKind::BootByte) ||
                                k == static_cast<std::size_t>(GapKind::BootToData);
        if (d - s.expected > (frozenWait ? expect_.waitLateTolerance : expect_.lateTolerance)) {
          late[k].push_back("gap " + gapName(from, to) + " late by " + millis(d - s.expected));
        }
      }
    }
    for (std::size_t k = 0; k < kGapKinds; ++k) {
      for (auto* list : {&early[k], &late[k]}) {
        for (std::size_t c = 0; c < list->size() && c < kNamedCases; ++c) problem((*list)[c]);
        if (list->size() > kNamedCases) {
          problem(std::to_string(list->size() - kNamedCases) + " more " + gapKindName(GapKind(k)) +
                  " gaps " + (list == &early[k] ? "early" : "late"));
        }
      }
    }
  }

  Received rx_;
  std::optional<TimeUs> closedAt_;
  const Expectations& expect_;
  Verdict v_;
  std::vector<Element> elements_;
  std::vector<Range> blocks_;
  std::optional<std::size_t> markerAt_;
  std::size_t markerBytes_ = 0;
  std::optional<std::size_t> checksumAt_;
  std::size_t trailing_ = 0;
};

}  // namespace

const char* gapKindName(GapKind kind) {
  switch (kind) {
    case GapKind::BootByte:
      return "boot-byte";
    case GapKind::BootToData:
      return "boot-to-data";
    case GapKind::Block:
      return "block";
    case GapKind::Tail:
      return "tail";
    case GapKind::Close:
      break;
  }
  return "close";
}

std::string stripLeadingZeros(std::string_view file) {
  std::size_t first = 0;
  while (first < file.size() && file[first] == '\0') ++first;
  return std::string(file.substr(first));
}

unsigned char streamChecksum(std::string_view data) {
  unsigned sum = kChecksumStart;
  for (char c : data) sum += static_cast<unsigned char>(c);
  return static_cast<unsigned char>(sum & 0xFF);
}

Verdict checkStream(const std::vector<Chunk>& chunks, std::optional<TimeUs> closedAt,
                    const Expectations& expect) {
  return Checker(chunks, closedAt, expect).run();
}

}  // namespace korven::sim
