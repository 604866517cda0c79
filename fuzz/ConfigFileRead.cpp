// Any bytes as the configuration file read at start-up.
#include <algorithm>
#include <cstdint>
#include <string>

#include "fuzz/Require.h"
#include "shell/ConfigFile.h"
#include "tests/testkit/TestPlatform.h"

using korven::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string file(reinterpret_cast<const char*>(data), size);
  korven::testkit::TestPlatform platform;
  korven::ProgPrin w(platform);
  w.AFF_CURDIR.setText(platform.fileSystem.folder + "/");
  platform.fileSystem.add(korven::kConfigFileName, file);
  korven::ConfigFile config(w, platform.fileSystem);

  require(config.LIT_CFG(), "a readable file is read");
  const std::string& address = w.INP_IP.text();
  const std::string firstLine = file.substr(0, file.find_first_of("\r\n"));
  require(address.find_first_of("\r\n") == std::string::npos, "the address holds no line end");
  require(address.size() <= korven::kConfigReadLimit, "the address is at most the read limit");
  // The field starts after the leading blanks and an opening quote; unquoted,
  // it ends at the first comma.
  const std::size_t blanks = std::min(firstLine.find_first_not_of(" \t"), firstLine.size());
  const bool quoted = blanks < firstLine.size() && firstLine[blanks] == '"';
  require(firstLine.compare(blanks + (quoted ? 1 : 0), address.size(), address) == 0,
          "the address is taken from the first line");
  if (!quoted) require(address.find(',') == std::string::npos, "an unquoted field holds no comma");
  return 0;
}
