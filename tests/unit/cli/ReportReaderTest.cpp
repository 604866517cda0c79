#include <gtest/gtest.h>

#include "app/cli/ReportReader.h"
#include "update/ReportFormat.h"

namespace korven {
namespace {

// Addresses are whatever terminals sent: a report must neither run them as
// formulas, nor pass their control bytes to a terminal that shows it, nor
// lose them; a retry finds each one again as the report writes it.
TEST(ReportReader, HostileAddressesGoOutAsTextAndComeBackWhole) {
  const std::vector<std::string> hostile = {
      "=HYPERLINK(\"x\")", "+1", "a,b", "two\r\nlines", "'quoted", "\x1B[31mred", "127.0.0.2"};
  UpdateRecord r;
  r.image = "-X.BIN";
  r.finished = true;
  r.piecesTotal = 3;
  for (const std::string& address : hostile) {
    TerminalRecord t;
    t.terminal = 0;
    t.address = address;
    t.discoveryReply = "K," + address + ",\x07";
    r.terminals.push_back(t);
  }
  r.terminals.back().piecesSent = 3;  // streamed, and clean
  const std::string csv = reportCsv(r);
  EXPECT_NE(csv.find(",\"'=HYPERLINK(\"\"x\"\")\","), std::string::npos) << csv;
  EXPECT_NE(csv.find(",'+1,"), std::string::npos);
  EXPECT_NE(csv.find(",'-X.BIN,"), std::string::npos) << "every text cell is guarded";
  EXPECT_NE(csv.find(",\"K,\\x1B[31mred,\\x07\","), std::string::npos) << "escaped, not raw";
  EXPECT_EQ(csv.find_first_of("\x1B\x07"), std::string::npos) << "in no cell";

  const auto retry = cli::terminalsToRetry(csv);
  ASSERT_TRUE(retry);
  EXPECT_EQ(*retry, (std::vector<std::string>{"=HYPERLINK(\"x\")", "+1", "a,b",
                                              "two\\x0D\\x0Alines", "'quoted", "\\x1B[31mred"}));
}

TEST(ReportReader, TheEarlierReportIsReadAndWhatIsNoReportIsTold) {
  const std::string earlier =
      "image,A.BIN\r\nmode,all terminals\r\nrange,0-5\r\n\r\n"
      "terminal,address,in_range,connected,pieces_sent,pieces_total,first_failed_piece,reply,"
      "outcome\r\n"
      "0,127.0.0.2,yes,yes,17,17,,,streamed\r\n"
      "1,127.0.0.3,yes,no,0,17,1,,not connected\r\n"
      "2,127.0.0.4,yes,yes,17,17,,CHKERR,streamed\r\n"
      "3,127.0.0.5,no,yes,0,17,,,outside range\r\n";
  EXPECT_EQ(cli::terminalsToRetry(earlier),
            std::optional(std::vector<std::string>{"127.0.0.3", "127.0.0.4"}));
  EXPECT_FALSE(
      cli::terminalsToRetry(std::string("\x7F"
                                        "ELF\x02\x01",
                                        6)));
  EXPECT_FALSE(cli::terminalsToRetry("address,outcome\r\n1.2.3.4,cut\r\n"));

  // A terminal that said nothing is retried when its run asked for a verdict.
  const std::string silent =
      "address,in_range,outcome,clean,wave_sizes,max_failed,require_verdict\r\n"
      "127.0.0.2,yes,streamed,unconfirmed,\"1,50%\",0,no\r\n"
      "127.0.0.3,yes,streamed,yes,\"1,50%\",0,no\r\n"
      "127.0.0.4,yes,held back,no,\"1,50%\",0,no\r\n";
  const auto report = cli::readReportForRetry(silent);
  ASSERT_TRUE(report);
  EXPECT_EQ(report->toRetry(false), std::vector<std::string>{"127.0.0.4"});
  EXPECT_EQ(report->toRetry(true), (std::vector<std::string>{"127.0.0.2", "127.0.0.4"}));
  EXPECT_EQ(report->waveSizes + " " + report->maxFailed, "1,50% 0");
}

}  // namespace
}  // namespace korven
