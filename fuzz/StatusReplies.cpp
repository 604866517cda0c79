// Any bytes a terminal sends on its connection, cut into arrivals by the
// input's own bytes. One program stays connected to one terminal across inputs.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <memory>
#include <string>

#include "fuzz/Require.h"
#include "shell/Loader.h"
#include "tests/testkit/RecordingTerminal.h"
#include "tests/testkit/TestPlatform.h"

namespace {

using korven::fuzz::require;

struct Program {
  Program() {
    require(loader.PROG_PRIN_Load(), "start-up succeeds");
    w.INP_IP.userType("127.0.0.2");
    require(platform.scheduler.advanceUntil([this] { return w.connected(); },
                                            korven::Micros(5'000'000)),
            "the terminal connects");
  }
  korven::testkit::TestPlatform platform;
  korven::testkit::RecordingTerminal terminal{platform.network, "127.0.0.2"};
  korven::Loader loader{platform};
  korven::ProgPrin& w = loader.window();
};

// The rank table, written out apart from the program's.
const char* statusOf(const std::string& bytes) {
  if (bytes.find('\xFD') != std::string::npos) return "FULL";
  if (bytes.find('\xFC') != std::string::npos) return "CHKERR";
  if (bytes.find('\xFE') != std::string::npos) return "NEW";
  if (bytes.find('\xFB') != std::string::npos) return "TERM";
  return nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Program p;
  require(p.terminal.connected(), "the connection stays up");
  p.w.AFF_STATUS0.userClick();  // the operator resets the box to "-----"
  std::string expected = korven::kStatusUnknown;
  FuzzedDataProvider input(data, size);
  while (input.remaining_bytes() > 0) {
    // The length of each arrival comes from the input's tail, its bytes from the head.
    const auto length = input.ConsumeIntegralInRange<std::size_t>(1, 64);
    const std::string arrival = input.ConsumeBytesAsString(length);
    if (arrival.empty()) break;
    p.terminal.reply(arrival);
    p.platform.scheduler.advance(korven::Micros(1000));
    if (const char* status = statusOf(arrival)) expected = status;
    const std::string& shown = p.w.AFF_STATUS0.text();
    require(shown == "-----" || shown == "FULL" || shown == "CHKERR" || shown == "NEW" ||
                shown == "TERM",
            "the status box shows one of the five texts");
    require(shown == expected, "each arrival is judged by itself, the highest rank winning");
  }
  return 0;
}
