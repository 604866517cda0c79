#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QJsonObject>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <string>

#include "app/ImageFile.h"
#include "app/RunEvents.h"
#include "platform/qt/QtPlatform.h"
#include "shell/Loader.h"
#include "tests/testkit/RecordingDialogs.h"

namespace korven::e2e {

inline const QString kSim = QStringLiteral(KORVEN_SIM_PATH);
// The simulator takes the time of a close when it reads it, so scheduling on
// a loaded machine can make the pause before it look a few milliseconds short.
inline const QStringList kTolerance{"--early-tolerance", "5"};

// An image of `blocks` blocks behind some leading zeros, as images come.
std::string imageOf(int blocks, int lastBlockBytes);
using simproc::writeFile;
// Where a test leaves the image the simulator must see arrive.
QString expectedImagePath();
// "ok " for a terminal that took exactly one sound stream, else what was wrong.
QString verdictOf(const QJsonObject& terminal);

// The program's whole logic on the Qt platform, in a fresh working folder,
// driven through the form model as the operator would drive the window.
class ProgramUnderTest {
 public:
  ProgramUnderTest() { QDir::setCurrent(folder.path()); }

  bool start() {
    loader = std::make_unique<Loader>(platform);
    return loader->PROG_PRIN_Load();
  }
  ProgPrin& w() { return loader->window(); }

  // Runs the program's events until `done` or the time limit.
  static bool waitFor(const std::function<bool()>& done, int milliseconds) {
    return simproc::runEventsUntil(done, milliseconds);
  }
  void runFor(int milliseconds) {
    waitFor([] { return false; }, milliseconds);
  }

  // Writes an image file into the working folder and chooses it.
  void chooseImage(const std::string& name, const std::string& bytes);
  bool updateAndWait(int milliseconds);
  bool green() { return w().INP_IP.backColor() == w().VERT.backColor(); }

  QTemporaryDir folder;
  testkit::RecordingDialogs dialogs;
  qt::QtPlatform platform{&dialogs};
  std::unique_ptr<Loader> loader;
};

}  // namespace korven::e2e
