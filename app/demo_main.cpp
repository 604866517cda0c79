// The unattended demo: the program against eight simulated terminals, one of
// which refuses connections and one of which answers FULL. It goes through
// start-up, discovery, a single update and an all-terminals update, prints
// each step and the simulator's verdict per terminal, saves a picture of the
// window after each step, and leaves the verdicts in OUTPUT_FOLDER/report.json
// and the simulator's full record in OUTPUT_FOLDER/simulator.json.
//   usage: korven-demo OUTPUT_FOLDER   (run in the demo working folder)
// The demo with the window ends with the verdicts from the record its
// simulator wrote:
//   usage: korven-demo --verdicts SIMULATOR_JSON REPORT_JSON
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPixmap>
#include <QWidget>

#include <cstdio>
#include <functional>
#include <string>

#include "app/DemoVerdicts.h"
#include "app/SimProcess.h"
#include "operator/Images.h"
#include "operator/MessageLog.h"
#include "operator/Operator.h"
#include "platform/qt/QtPlatform.h"
#include "shell/Loader.h"
#include "view/qt/FormView.h"

namespace {

using korven::Micros;
using korven::ProgPrin;

void say(const std::string& line) {
  std::printf("[demo] %s\n", line.c_str());
  std::fflush(stdout);
}

Micros ms(long long milliseconds) {
  return Micros(milliseconds * 1000);
}

bool writeJson(const QString& path, const QJsonObject& object) {
  const QByteArray bytes = QJsonDocument(object).toJson();
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
         file.write(bytes) == bytes.size() && file.flush();
}

// Prints each terminal's verdict and writes them all to `path`; the
// verdicts, empty when they could not be written.
QJsonArray tellVerdicts(const QJsonArray& record, const QString& path) {
  const QJsonObject verdicts = korven::demo::verdictsOf(record);
  say("verdicts of the simulated terminals:");
  for (const auto& t : verdicts.value("terminals").toArray()) {
    say("  " + korven::demo::verdictLine(t.toObject()));
  }
  if (!writeJson(path, verdicts)) {
    std::fprintf(stderr, "demo: cannot write %s\n", qPrintable(path));
    return {};
  }
  say("  written to " + path.toStdString());
  return verdicts.value("terminals").toArray();
}

// korven-demo --verdicts SIMULATOR_JSON REPORT_JSON
int verdictsFromRecord(const QString& recordPath, const QString& path) {
  QFile file(recordPath);
  const QJsonObject record = file.open(QIODevice::ReadOnly)
                                 ? QJsonDocument::fromJson(file.readAll()).object()
                                 : QJsonObject();
  if (!record.value("terminals").isArray()) {
    std::fprintf(stderr, "demo: no simulator record in %s\n", qPrintable(recordPath));
    return 1;
  }
  return tellVerdicts(record.value("terminals").toArray(), path).isEmpty() ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--verdicts") {
    return verdictsFromRecord(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
  }
  if (argc != 2) {
    std::fprintf(stderr,
                 "usage: korven-demo OUTPUT_FOLDER\n"
                 "       korven-demo --verdicts SIMULATOR_JSON REPORT_JSON\n");
    return 2;
  }
  QApplication application(argc, argv);
  const QString out = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(out);
  int step = 0;
  std::function<void(const std::string&)> picture;

  korven::MessageLog dialogs;
  dialogs.onShown = [](const std::string& text, bool) {
    say("  message box: " + korven::oneLine(text));
  };
  korven::qt::QtPlatform platform(dialogs);
  korven::Loader loader(platform);
  korven::Operator op(loader, platform);
  const std::string quick = "QUICK_WG.BIN";
  if (!op.writeImage(quick, korven::imageOf(4, 41, 31)) ||
      !op.writeImage("FIRMWARE.BIN", korven::imageOf(6, 41, 17))) {
    std::fprintf(stderr, "demo: cannot write the images into %s\n",
                 qPrintable(QDir::currentPath()));
    return 1;
  }
  korven::simproc::SimProcess sim;
  const QString simPath = QCoreApplication::applicationDirPath() + "/korven-sim";
  if (!sim.start(simPath, {"--count", "8", "--fault", "2:refuse", "--status", "4:FULL", "--image",
                           QString::fromStdString(quick), "--boot", "whole"})) {
    std::fprintf(stderr, "demo: the simulator did not start:\n%s\n", qPrintable(sim.output()));
    return 1;
  }
  say("simulator: 8 terminals on 127.0.0.2 to 127.0.0.9; 127.0.0.4 refuses connections, "
      "127.0.0.6 answers FULL");

  korven::qt::FormView view(loader.window().PROG_PRIN);
  ProgPrin& w = loader.window();
  picture = [&](const std::string& name) {
    // The view shows a list's current row from the next turn of the event loop on.
    QCoreApplication::processEvents();
    const QString file = QDir(out).filePath(QString("%1-%2.png").arg(++step).arg(name.c_str()));
    view.window()->grab().save(file);
    say("  picture: " + file.toStdString());
  };

  say("step 1: start-up");
  if (!op.start()) return 1;
  op.wait(ms(200));
  picture("startup");

  say("step 2: discovery (the start-up query, by broadcast)");
  const bool found = op.waitUntil([&] { return w.LST_ALL.count() == 8; }, ms(5000));
  say("  terminals listed: " + w.AFF_ALL_NB.text() + (found ? "" : " (expected 8)"));
  picture("discovery");

  say("step 3: single update of 127.0.0.2 with " + quick);
  op.pickAddress("127.0.0.2");
  op.waitUntil([&] { return op.connected(); }, ms(3000));
  op.chooseImage(quick);
  op.update(ms(60'000));
  say("  done; checksum " + w.CHECK.text() + ", status " + w.AFF_STATUS0.text());
  picture("single-update");

  say("step 4: all-terminals update with " + quick);
  op.allTerminals(true);
  op.wait(ms(1500));
  op.update(ms(60'000));
  op.wait(ms(300));
  for (const std::string& failure : op.failures()) say("  failed: " + failure);
  for (const korven::TerminalView& t : op.terminals())
    say("  " + t.address + " status " + t.status);
  picture("all-terminals-update");

  const QJsonArray record = sim.report();
  bool asExpected = found && w.LST_ALL_ERR.itemCount() == 1 && !record.isEmpty() &&
                    writeJson(QDir(out).filePath("simulator.json"), {{"terminals", record}});
  const QJsonArray verdicts = tellVerdicts(record, QDir(out).filePath("report.json"));
  asExpected = asExpected && !verdicts.isEmpty();
  for (const auto& t : verdicts) {
    asExpected = asExpected && t.toObject().value("verdict").toString() != "faulty";
  }
  say(asExpected ? "demo finished: every reachable terminal got a correct stream on time"
                 : "demo finished: something differs from the expected run (see above)");
  return asExpected ? 0 : 1;
}
