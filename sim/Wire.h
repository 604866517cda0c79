#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The bytes a terminal sees and sends, as they travel on the wire. Byte
// strings are std::string holding raw bytes (0 to 255), never text encodings.
namespace korven::sim {

// Microseconds of a monotonic clock.
using TimeUs = std::int64_t;

inline constexpr int kTerminalPort = 1024;  // UDP frames in, TCP update stream in
inline constexpr int kReplyPort = 2024;     // UDP replies go to the sender's address here

inline constexpr std::size_t kBlockSize = 64;
inline constexpr unsigned kChecksumStart = 568;  // the sum of the five end-marker bytes

// SOH, "00T", then the end marker.
inline const std::string kBootRequest("\x01\x30\x30\x54\xFB\x08\xC9\x08\x64", 9);
inline const std::string kEndMarker("\xFB\x08\xC9\x08\x64", 5);

// The 36-byte discovery query: FE FF 01 FF 01, three times "0.0.0.0" + CR, FD, six zeros.
inline const std::string kQuery(
    "\xFE\xFF\x01\xFF\x01"
    "0.0.0.0\x0D"
    "0.0.0.0\x0D"
    "0.0.0.0\x0D"
    "\xFD\x00\x00\x00\x00\x00\x00",
    36);

// What a datagram arriving on port 1024 is. Anything that is not one of
// these exact byte strings is Unknown: a terminal does not guess.
enum class Frame { Query, GoBoot, GoTerm, ModePassive, ModeActive, ShowMac, Unknown };

Frame classifyFrame(std::string_view datagram);
// "QUERY", "GO BOOT", "GO TERM", "MODE PASSIVE", "MODE ACTIVE", "SHOW MAC", "unknown".
const char* frameName(Frame frame);

// The one-byte status replies a terminal sends on its TCP connection.
inline constexpr unsigned char kStatusNew = 0xFE;
inline constexpr unsigned char kStatusChecksumError = 0xFC;
inline constexpr unsigned char kStatusFull = 0xFD;
inline constexpr unsigned char kStatusTerm = 0xFB;

// NEW, CHKERR, FULL, TERM (any case), or one byte in hexadecimal ("15",
// "0x15"), so that a reply the program must ignore can be sent too.
std::optional<unsigned char> parseStatusCode(std::string_view text);
// "NEW", "CHKERR", "FULL", "TERM", or "0x15" for any other byte.
std::string statusName(unsigned char code);

// "FE FF 03": for naming unknown bytes in the output.
std::string hexBytes(std::string_view bytes, std::size_t max = 48);

// Dotted-decimal text of a host-order IPv4 address, and back.
std::string formatIpv4(std::uint32_t address);
std::optional<std::uint32_t> parseIpv4(std::string_view text);

}  // namespace korven::sim
