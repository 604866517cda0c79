#include <gtest/gtest.h>

#include "shell/Loader.h"
#include "tests/testkit/TestPlatform.h"

namespace korven {
namespace {

class ConfigRun {
 public:
  // Starts the program, returns whether start-up went through.
  bool start() {
    loader = std::make_unique<Loader>(platform);
    return loader->PROG_PRIN_Load();
  }
  void close() { loader->window().PROG_PRIN.userClose(); }
  ProgPrin& w() { return loader->window(); }
  std::string saved() {
    auto* entry = platform.fileSystem.find("TCP_BRD.CFG");
    return entry ? entry->content : "<none>";
  }

  testkit::TestPlatform platform;
  std::unique_ptr<Loader> loader;
};

TEST(ConfigFile, SavedAtFocusLossAndClosingRestoredAtStart) {
  ConfigRun run;
  ASSERT_TRUE(run.start());
  EXPECT_EQ(run.w().INP_IP.text(), "") << "no file: the box stays empty";
  run.w().INP_IP.userType("  10.1.2.3 ");
  run.w().INP_IP.userFocusOut();
  EXPECT_EQ(run.saved(), "10.1.2.3\r\n");
  run.w().INP_IP.userType("\b9");  // edited, the box never left
  run.close();
  EXPECT_EQ(run.saved(), "10.1.2.39\r\n");

  ConfigRun next;
  next.platform.fileSystem.add("TCP_BRD.CFG", "10.1.2.39\r\n");
  ASSERT_TRUE(next.start());
  EXPECT_EQ(next.w().INP_IP.text(), "10.1.2.39");
  EXPECT_EQ(next.w().TCPIP.element(0)->remoteHost(), "10.1.2.39");
  EXPECT_EQ(next.w().INP_IP.backColor(), next.w().ROUGE.backColor());
}

TEST(ConfigFile, ReadingTakesOnlyTheFirstFieldOfTheFirstLine) {
  const std::pair<std::string, std::string> cases[] = {
      {"10.0.0.1,10.0.0.2\r\n", "10.0.0.1"},
      {"   10.0.0.1 ,x", "10.0.0.1 "},
      {"\"10.0,0.1\",x\r\n", "10.0,0.1"},
      {"\"unclosed\r\nnext", "unclosed"},
      {"10.0.0.1\r\n10.0.0.2\r\n", "10.0.0.1"},
      {"10.0.0.1", "10.0.0.1"},
      {"\r\n", ""},
      {"", ""},  // an empty file is read as an empty address
  };
  for (const auto& [content, expected] : cases) {
    ConfigRun run;
    run.platform.fileSystem.add("TCP_BRD.CFG", content);
    ASSERT_TRUE(run.start()) << content;
    EXPECT_EQ(run.w().INP_IP.text(), expected) << content;
  }
}

TEST(ConfigFile, AFileThatCannotBeReadEndsStartup) {
  ConfigRun run;
  run.platform.fileSystem.add("TCP_BRD.CFG", "10.0.0.1\r\n").cannotOpen = true;
  EXPECT_FALSE(run.start());
  EXPECT_EQ(run.platform.dialogBoxes.texts().back(), "ERROR: SWITCH THE LIBRARY IN CONFIG MODE !");
}

}  // namespace
}  // namespace korven
