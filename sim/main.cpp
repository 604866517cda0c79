// korven-sim: simulated terminals on loopback addresses, for the end-to-end
// tests and the demo. Run it only inside a private network namespace.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "sim/Options.h"
#include "sim/Server.h"
#include "sim/Terminal.h"

using namespace korven::sim;

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  const auto options = parseOptions(args, error);
  if (!options) {
    std::fprintf(stderr, "korven-sim: %s; korven-sim --help lists the options\n", error.c_str());
    return 2;
  }
  if (options->help) {
    std::fputs(usageText(), stdout);
    return 0;
  }
  if (options->version) {
    std::printf("korven-sim %s\n", KORVEN_VERSION);
    return 0;
  }
  auto expect = std::make_shared<Expectations>(expectationsFrom(*options));
  if (options->imagePath) {
    // A folder or a device is no image; check before reading it.
    std::error_code ec;
    std::string content;
    bool readable = std::filesystem::is_regular_file(*options->imagePath, ec);
    if (readable) {
      std::ifstream file(*options->imagePath, std::ios::binary);
      content.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
      readable = file.is_open() && !file.bad();
    }
    if (!readable) {
      std::fprintf(stderr, "korven-sim: --image: cannot read %s\n", options->imagePath->c_str());
      return 2;
    }
    expect->image = std::make_shared<const std::string>(stripLeadingZeros(content));
  }
  std::vector<Terminal> terminals;
  terminals.reserve(options->terminals.size());
  for (const TerminalConfig& config : options->terminals) terminals.emplace_back(config, expect);

  Server server(terminals,
                ServerOptions{options->replySpacing, options->reportPath, !options->untilSignal},
                stdout);
  if (!server.start(error)) {
    std::fprintf(stderr, "korven-sim: %s\n", error.c_str());
    return 1;
  }
  std::printf("READY %zu terminals %s-%s\n", terminals.size(), terminals.front().address().c_str(),
              terminals.back().address().c_str());
  std::fflush(stdout);
  return server.run();
}
