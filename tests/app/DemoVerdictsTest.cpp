#include "app/DemoVerdicts.h"

#include <gtest/gtest.h>

#include <QJsonDocument>

namespace korven::demo {
namespace {

// What the demos promise: each terminal's verdict, drawn from all its
// streams, as a line and in report.json.
TEST(DemoVerdicts, EachTerminalsVerdictIsDrawnFromAllItsStreams) {
  const QJsonArray record = QJsonDocument::fromJson(R"([
    {"address": "127.0.0.2", "refused": 0, "bytes": 900, "streams": [
      {"verdict": "ok", "problems": [], "gaps": {}}, {"verdict": "ok", "problems": []}]},
    {"address": "127.0.0.3", "refused": 0, "streams": [
      {"verdict": "ok", "problems": []},
      {"verdict": "faulty", "problems": ["cut after block 2", "no checksum"]}]},
    {"address": "127.0.0.4", "refused": 3, "streams": []},
    {"address": "127.0.0.5", "refused": 0, "streams": []}
  ])")
                                .array();
  const QJsonArray terminals = verdictsOf(record).value("terminals").toArray();
  ASSERT_EQ(terminals.size(), 4);
  std::vector<std::string> lines;
  for (const auto& t : terminals) lines.push_back(verdictLine(t.toObject()));
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "127.0.0.2: ok, 2 streams",
                       "127.0.0.3: faulty, 2 streams: ok, faulty (cut after block 2; no checksum)",
                       "127.0.0.4: no stream, refused 3 connections", "127.0.0.5: no stream"}));
  // The file keeps the verdicts, not the timing statistics.
  EXPECT_EQ(QJsonDocument(terminals[1].toObject()).toJson(QJsonDocument::Compact).toStdString(),
            R"({"address":"127.0.0.3","refused":0,"streams":[{"problems":[],"verdict":"ok"},)"
            R"({"problems":["cut after block 2","no checksum"],"verdict":"faulty"}],)"
            R"("verdict":"faulty"})");
}

}  // namespace
}  // namespace korven::demo
