#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "app/cli/CliOptions.h"
#include "sim/Options.h"

namespace korven {
namespace {

// A help text wider than a terminal wraps into a muddle.
TEST(Help, EveryLineFitsEightyColumns) {
  for (const char* text : {cli::cliUsage(), sim::usageText()}) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80U) << line;
  }
}

}  // namespace
}  // namespace korven
