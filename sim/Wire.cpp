#include "sim/Wire.h"

#include <cctype>
#include <charconv>

namespace korven::sim {

namespace {

const std::string kGoBoot("\x01\xFF\xFF\x41\x02\xFB\x46\x44\x03", 9);
const std::string kGoTerm("\x01\xFF\xFF\x41\xFA", 5);
const std::string kModePassive("\xFE\xFF\x04", 3);
const std::string kModeActive("\xFE\xFF\x05", 3);
const std::string kShowMac("\xFE\xFF\x02", 3);

std::string upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

Frame classifyFrame(std::string_view datagram) {
  if (datagram == kQuery) return Frame::Query;
  if (datagram == kGoBoot) return Frame::GoBoot;
  if (datagram == kGoTerm) return Frame::GoTerm;
  if (datagram == kModePassive) return Frame::ModePassive;
  if (datagram == kModeActive) return Frame::ModeActive;
  if (datagram == kShowMac) return Frame::ShowMac;
  return Frame::Unknown;
}

const char* frameName(Frame frame) {
  switch (frame) {
    case Frame::Query:
      return "QUERY";
    case Frame::GoBoot:
      return "GO BOOT";
    case Frame::GoTerm:
      return "GO TERM";
    case Frame::ModePassive:
      return "MODE PASSIVE";
    case Frame::ModeActive:
      return "MODE ACTIVE";
    case Frame::ShowMac:
      return "SHOW MAC";
    case Frame::Unknown:
      break;
  }
  return "unknown";
}

std::optional<unsigned char> parseStatusCode(std::string_view text) {
  const std::string name = upper(text);
  if (name == "NEW") return kStatusNew;
  if (name == "CHKERR") return kStatusChecksumError;
  if (name == "FULL") return kStatusFull;
  if (name == "TERM") return kStatusTerm;
  std::string_view digits = text;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    digits.remove_prefix(2);
  }
  if (digits.empty() || digits.size() > 2) return std::nullopt;
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
  if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return static_cast<unsigned char>(value);
}

std::string statusName(unsigned char code) {
  switch (code) {
    case kStatusNew:
      return "NEW";
    case kStatusChecksumError:
      return "CHKERR";
    case kStatusFull:
      return "FULL";
    case kStatusTerm:
      return "TERM";
    default:
      break;
  }
  static const char* const digits = "0123456789ABCDEF";
  return std::string("0x") + digits[code >> 4] + digits[code & 15];
}

std::string hexBytes(std::string_view bytes, std::size_t max) {
  static const char* const digits = "0123456789ABCDEF";
  std::string out;
  for (std::size_t i = 0; i < bytes.size() && i < max; ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (i > 0) out += ' ';
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  if (bytes.size() > max) out += " ...";
  return out;
}

std::string formatIpv4(std::uint32_t address) {
  return std::to_string(address >> 24) + '.' + std::to_string((address >> 16) & 255) + '.' +
         std::to_string((address >> 8) & 255) + '.' + std::to_string(address & 255);
}

std::optional<std::uint32_t> parseIpv4(std::string_view text) {
  std::uint32_t address = 0;
  const char* p = text.data();
  const char* const end = text.data() + text.size();
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (p == end || *p != '.') return std::nullopt;
      ++p;
    }
    // Plain decimal only: no signs, no blanks, at most three digits.
    if (p == end || !std::isdigit(static_cast<unsigned char>(*p))) return std::nullopt;
    unsigned value = 0;
    const auto [next, ec] = std::from_chars(p, end, value);
    if (ec != std::errc() || value > 255 || next - p > 3) return std::nullopt;
    address = (address << 8) | value;
    p = next;
  }
  if (p != end) return std::nullopt;
  return address;
}

}  // namespace korven::sim
