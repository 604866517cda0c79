// Any datagram on the discovery port, as the program's receive handler gets
// it. One program lives across inputs, so the terminal list grows as on a
// busy network until it has stood at its cap for a while.
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>

#include "discovery/Discovery.h"
#include "fuzz/Require.h"
#include "shell/Loader.h"
#include "tests/testkit/TestPlatform.h"

namespace {

using korven::fuzz::require;

constexpr int kInputsAtCap = 256;             // drops at the cap are tried this often
constexpr long kFullScanEvery = 4096;         // inputs between whole-list checks
constexpr std::size_t kTextLimit = 64 << 20;  // listed bytes before a fresh program

struct Program {
  Program() { require(loader.PROG_PRIN_Load(), "start-up succeeds"); }
  korven::testkit::TestPlatform platform;
  korven::Loader loader{platform};
  std::unordered_set<std::string> listed;  // what the list must hold
  std::size_t listedBytes = 0;
  int inputsAtCap = 0;
};

std::unique_ptr<Program> program;
long inputs = 0;

void checkWholeList(Program& p) {
  const korven::ListBox& all = p.loader.window().LST_ALL;
  std::unordered_set<std::string> seen;
  for (int i = 0; i < all.count(); ++i) {
    require(seen.insert(all.line(i)).second, "LST_ALL never holds a duplicate");
  }
  require(seen == p.listed, "LST_ALL holds exactly the addresses that were new");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!program || program->inputsAtCap >= kInputsAtCap || program->listedBytes > kTextLimit) {
    program = std::make_unique<Program>();
  }
  Program& p = *program;
  korven::ProgPrin& w = p.loader.window();
  const std::string datagram(reinterpret_cast<const char*>(data), size);
  const int before = w.LST_ALL.count();

  p.platform.network.sendUdp({"127.0.0.2", 1024, "127.0.0.1", 2024, datagram, {}});
  p.platform.scheduler.advance(korven::Micros(1000));

  // The address is what stands between the first two commas.
  const std::size_t first = datagram.find(',');
  const std::size_t second = first == std::string::npos ? first : datagram.find(',', first + 1);
  const bool isNew = second != std::string::npos &&
                     p.listed.count(datagram.substr(first + 1, second - first - 1)) == 0;
  const int count = w.LST_ALL.count();
  require(count == before + (isNew && before < korven::kMaxTerminals ? 1 : 0),
          "a new address adds one line, anything else none");
  require(w.LST_STATUS.count() == count, "LST_ALL and LST_STATUS stay in step");
  require(w.AFF_ALL_NB.text() == std::to_string(count), "AFF_ALL_NB counts LST_ALL");
  if (count > before) {
    const std::string& added = w.LST_ALL.line(count - 1);
    require(added == datagram.substr(first + 1, second - first - 1), "the field is listed");
    require(added.find(',') == std::string::npos, "a listed address never contains a comma");
    p.listed.insert(added);
    p.listedBytes += added.size();
  }
  if (count == korven::kMaxTerminals) ++p.inputsAtCap;
  if (++inputs % kFullScanEvery == 0 || p.inputsAtCap == kInputsAtCap) checkWholeList(p);
  return 0;
}
