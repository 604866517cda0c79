#include "sim/Commands.h"

#include <gtest/gtest.h>

#include <memory>

namespace korven::sim {
namespace {

TEST(Commands, StdinSwitchesFaultsSendsStatusesAndQuits) {
  TerminalConfig config;
  config.address = (127u << 24) | 2;
  std::vector<Terminal> terminals;
  for (int i = 0; i < 2; ++i) {
    terminals.emplace_back(config, std::make_shared<Expectations>());
    ++config.address;
  }
  std::vector<std::string> lines;
  std::vector<std::string> calls;
  Commands::Hooks hooks;
  hooks.line = [&](const std::string& text) { lines.push_back(text); };
  hooks.report = [&](std::string&) { return true; };
  hooks.sendStatus = [&](std::size_t i, unsigned char code) {
    calls.push_back("status " + std::to_string(i) + " " + std::to_string(code));
    return i == 1 ? 1 : 0;  // only the second terminal has a connection
  };
  hooks.refusalChanged = [&](std::size_t i, std::string&) {
    calls.push_back("listener " + std::to_string(i));
    return true;
  };
  Commands commands(terminals, hooks);

  for (const char* line :
       {"fault 1 refuse", "fault 127.0.0.3 none", "fault 0 slow-accept:100", "fault 2 refuse",
        "status 1 CHKERR", "status 0 NEW", "status 1 BUSY", "report", "dance"}) {
    EXPECT_TRUE(commands.run(line)) << line;
  }
  EXPECT_EQ(
      lines,
      (std::vector<std::string>{
          "FAULT 127.0.0.3 refuse", "FAULT 127.0.0.3 none",
          "ERROR fault: slow-accept is set on the command line only",
          "ERROR fault: no terminal 2 (there are 2, 0 to 1: 127.0.0.2 to 127.0.0.3)",
          "STATUS 127.0.0.3 CHKERR sent", "ERROR status: 127.0.0.2 has no open connection",
          "ERROR status: unknown status BUSY (NEW, CHKERR, FULL, TERM or a hex byte)", "REPORTED",
          "ERROR unknown command: dance (report, forget, status T CODE, fault T KIND, "
          "quit)"}));
  EXPECT_EQ(calls,
            (std::vector<std::string>{"listener 1", "listener 1", "status 1 252", "status 0 254"}));
  EXPECT_FALSE(terminals[1].config().faults.refuse);
  EXPECT_FALSE(commands.run("quit"));
}

}  // namespace
}  // namespace korven::sim
