#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/LoaderArguments.h"

namespace korven::app {
namespace {

using Action = LoaderArguments::Action;

// The toolkit takes its own options out of the command line once it starts:
// they must pass the reading before it, and nothing else unknown may.
TEST(LoaderArguments, TheToolkitsOptionsPassAndAnythingElseUnknownIsRefused) {
  const LoaderArguments run = readLoaderArguments(
      {"-platform", "offscreen", "--style=Fusion", "-reverse", "--interface", "eth1,eth2"});
  EXPECT_EQ(run.action, Action::Run);
  EXPECT_EQ(run.interfaces, (std::vector<std::string>{"eth1", "eth2"}));
  EXPECT_TRUE(run.platformGiven);
  EXPECT_EQ(readLoaderArguments({"--interface=eth1"}).interfaces, std::vector<std::string>{"eth1"});
  EXPECT_FALSE(readLoaderArguments({"--interface=eth1"}).platformGiven);

  const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
      {{"--interfce", "eth1"}, "unknown option --interfce; did you mean --interface?"},
      {{"--bogus"}, "unknown option --bogus; korven-loader --help shows the options"},
      {{"firmware.bin"}, "unexpected 'firmware.bin'; korven-loader --help shows the options"},
      {{"-platform"}, "-platform needs a value"},
      {{"--interface"}, "--interface needs NAME[,NAME...]"},
      {{"--help", "--bogus"}, "unknown option --bogus; korven-loader --help shows the options"},
  };
  for (const auto& [arguments, problem] : refused) {
    const LoaderArguments read = readLoaderArguments(arguments);
    EXPECT_EQ(read.action, Action::Refuse) << arguments[0];
    EXPECT_EQ(read.problem, problem);
  }
}

struct Ran {
  int exit = -1;
  std::string out;
  std::string err;
};

std::string contentOf(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// The program as over SSH: no display, no platform chosen.
Ran runWithoutDisplay(const std::string& arguments) {
  const std::string out = testing::TempDir() + "loader.out";
  const std::string err = testing::TempDir() + "loader.err";
  const std::string command =
      "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= " + std::string(KORVEN_LOADER_PATH) +
      " " + arguments + " >" + out + " 2>" + err + " </dev/null";
  const int status = std::system(command.c_str());
  Ran ran;
  if (WIFEXITED(status)) ran.exit = WEXITSTATUS(status);
  ran.out = contentOf(out);
  ran.err = contentOf(err);
  return ran;
}

TEST(LoaderProgram, AnswersWithoutADisplayWhatNeedsNoWindow) {
  const Ran help = runWithoutDisplay("--help");
  EXPECT_EQ(help.exit, 0) << help.err;
  EXPECT_EQ(help.out.rfind("Usage: korven-loader [--interface NAME,...]", 0), 0u) << help.out;
  EXPECT_EQ(help.err, "");

  const Ran version = runWithoutDisplay("--version");
  EXPECT_EQ(version.exit, 0) << version.err;
  EXPECT_EQ(version.out.rfind("korven-loader ", 0), 0u) << version.out;

  // Each refusal is one line on stderr, before anything else happens.
  const Ran bogus = runWithoutDisplay("--bogus");
  EXPECT_EQ(bogus.exit, 2);
  EXPECT_EQ(bogus.err,
            "korven-loader: unknown option --bogus; korven-loader --help shows the "
            "options\n");
  EXPECT_EQ(bogus.out, "");
  const Ran interface = runWithoutDisplay("--interface no-such-if0");
  EXPECT_EQ(interface.exit, 2);
  EXPECT_EQ(interface.err.rfind("korven-loader: --interface no-such-if0", 0), 0u) << interface.err;

  // The window itself says what it lacks rather than abort.
  const Ran window = runWithoutDisplay("");
  EXPECT_EQ(window.exit, 1);
  EXPECT_EQ(window.err.rfind("korven-loader: no display to open the window on", 0), 0u)
      << window.err;
}

}  // namespace
}  // namespace korven::app
