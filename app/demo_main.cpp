// The unattended demo: the program against eight simulated terminals, one of
// which refuses connections and one of which answers FULL. It goes through
// start-up, discovery, a single update and an all-terminals update, prints
// each step and the simulator's verdict per terminal, and saves a picture of
// the window after each step.
//   usage: korven-demo OUTPUT_FOLDER   (run in the demo working folder)
#include <QApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QPixmap>
#include <QWidget>

#include <cstdio>
#include <functional>
#include <string>

#include "app/ImageFile.h"
#include "app/RunEvents.h"
#include "app/SimProcess.h"
#include "platform/qt/FormView.h"
#include "platform/qt/QtPlatform.h"
#include "shell/Loader.h"

namespace {

using korven::ProgPrin;
using korven::simproc::imageOf;
using korven::simproc::writeFile;

// Message boxes of the unattended run: printed, and taken as acknowledged.
class PrintingDialogs : public korven::Dialogs {
 public:
  void message(const std::string& text, bool) override {
    std::string shown = text;
    for (char& c : shown) {
      if (c == '\r' || c == '\n') c = ' ';
    }
    std::printf("[demo]   message box: %s\n", shown.c_str());
    std::fflush(stdout);
  }
};

void say(const std::string& line) {
  std::printf("[demo] %s\n", line.c_str());
  std::fflush(stdout);
}

bool waitFor(const std::function<bool()>& done, int milliseconds) {
  return korven::simproc::runEventsUntil(done, milliseconds);
}

void chooseImage(ProgPrin& w, const std::string& name) {
  w.MENU_NOM_FICHIER.userFocusIn();
  for (int i = 0; i < w.MENU_NOM_FICHIER.itemCount(); ++i) {
    if (w.MENU_NOM_FICHIER.item(i) == name) w.MENU_NOM_FICHIER.userPick(i);
  }
  w.MENU_NOM_FICHIER.userFocusOut();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: korven-demo OUTPUT_FOLDER\n");
    return 2;
  }
  QApplication application(argc, argv);
  const QString out = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(out);
  int step = 0;
  std::function<void(const std::string&)> picture;

  const std::string quick = "QUICK_WG.BIN";
  if (!writeFile(quick.c_str(), imageOf(4, 31)) || !writeFile("FIRMWARE.BIN", imageOf(6, 17))) {
    std::fprintf(stderr, "demo: cannot write the images into %s\n",
                 qPrintable(QDir::currentPath()));
    return 1;
  }
  korven::simproc::SimProcess sim;
  const QString simPath = QCoreApplication::applicationDirPath() + "/korven-sim";
  if (!sim.start(simPath, {"--count", "8", "--fault", "3:refuse", "--status", "5:FULL", "--image",
                           QString::fromStdString(quick), "--boot", "whole"})) {
    std::fprintf(stderr, "demo: the simulator did not start:\n%s\n", qPrintable(sim.output()));
    return 1;
  }
  say("simulator: 8 terminals on 127.0.0.2 to 127.0.0.9; 127.0.0.4 refuses connections, "
      "127.0.0.6 answers FULL");

  PrintingDialogs dialogs;
  korven::qt::QtPlatform platform(&dialogs);
  korven::Loader loader(platform);
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
  if (!loader.PROG_PRIN_Load()) return 1;
  waitFor([] { return false; }, 200);
  picture("startup");

  say("step 2: discovery (the start-up query, by broadcast)");
  const bool found = waitFor([&] { return w.LST_ALL.count() == 8; }, 5000);
  say("  terminals listed: " + w.AFF_ALL_NB.text() + (found ? "" : " (expected 8)"));
  picture("discovery");

  say("step 3: single update of 127.0.0.2 with " + quick);
  for (int i = 0; i < w.INP_IP.itemCount(); ++i) {
    if (w.INP_IP.item(i) == "127.0.0.2") w.INP_IP.userPick(i);
  }
  waitFor([&] { return w.INP_IP.backColor() == w.VERT.backColor(); }, 3000);
  chooseImage(w, quick);
  w.B_UPDATE.userClick();
  waitFor([&] { return w.PROG_PRIN.enabled(); }, 60'000);
  say("  done; checksum " + w.CHECK.text() + ", status " + w.AFF_STATUS0.text());
  picture("single-update");

  say("step 4: all-terminals update with " + quick);
  w.SW_ALL.userClick();
  waitFor([] { return false; }, 1500);
  w.B_UPDATE.userClick();
  waitFor([&] { return w.PROG_PRIN.enabled(); }, 60'000);
  waitFor([] { return false; }, 300);
  for (int i = 0; i < w.LST_ALL_ERR.itemCount(); ++i) say("  failed: " + w.LST_ALL_ERR.item(i));
  for (int i = 0; i < w.LST_ALL.count(); ++i) {
    say("  " + w.LST_ALL.line(i) + " status " + w.LST_STATUS.line(i));
  }
  picture("all-terminals-update");

  say("verdicts of the simulated terminals:");
  bool asExpected = found && w.LST_ALL_ERR.itemCount() == 1;
  for (const auto& value : sim.report()) {
    const QJsonObject t = value.toObject();
    const QString address = t.value("address").toString();
    QStringList verdicts;
    for (const auto& s : t.value("streams").toArray()) {
      const QJsonObject stream = s.toObject();
      QStringList problems;
      for (const auto& p : stream.value("problems").toArray()) problems << p.toString();
      verdicts << stream.value("verdict").toString() +
                      (problems.isEmpty() ? "" : " (" + problems.join("; ") + ")");
      asExpected = asExpected && stream.value("verdict").toString() == "ok";
    }
    const int refused = t.value("refused").toInt();
    say("  " + address.toStdString() + ": " + std::to_string(verdicts.size()) + " stream(s) " +
        verdicts.join(", ").toStdString() +
        (refused > 0 ? ", refused " + std::to_string(refused) + " connection(s)" : ""));
  }
  say(asExpected ? "demo finished: every reachable terminal got a correct stream on time"
                 : "demo finished: something differs from the expected run (see above)");
  return asExpected ? 0 : 1;
}
