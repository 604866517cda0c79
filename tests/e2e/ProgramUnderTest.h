#pragma once

#include <QDir>
#include <QJsonObject>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <string>

#include "operator/Images.h"
#include "operator/MessageLog.h"
#include "operator/Operator.h"
#include "platform/qt/QtPlatform.h"
#include "shell/Loader.h"

namespace korven::e2e {

inline const QString kSim = QStringLiteral(KORVEN_SIM_PATH);
// These tests judge bytes, order and that no pause is short; lateness is the
// benchmarks' to measure. The simulator takes the time of a close when it
// reads it, so scheduling can make the pause before it look a few
// milliseconds short.
inline const QStringList kTolerance{"--early-tolerance",     "5",    "--late-tolerance", "60000",
                                    "--wait-late-tolerance", "60000"};

// Writes the image the simulator must see arrive; its path.
QString expectedImage(const std::string& bytes);
// "ok " for a terminal that took exactly one sound stream, else what was wrong.
QString verdictOf(const QJsonObject& terminal);

// The program's whole logic on the Qt platform, in a fresh working folder,
// driven as the operator drives the window.
class ProgramUnderTest {
 public:
  ProgramUnderTest() { QDir::setCurrent(folder.path()); }

  bool start() { return op.start(); }
  ProgPrin& w() { return loader.window(); }
  bool waitFor(const std::function<bool()>& done, int milliseconds) {
    return op.waitUntil(done, Micros(milliseconds * 1000LL));
  }
  void runFor(int milliseconds) { op.wait(Micros(milliseconds * 1000LL)); }
  // Writes an image file into the working folder and chooses it.
  void chooseImage(const std::string& name, const std::string& bytes) {
    op.writeImage(name, bytes);
    op.chooseImage(name);
  }
  bool updateAndWait(int milliseconds) {
    return op.update(Micros(milliseconds * 1000LL)) == Operator::Update::Ran;
  }
  bool green() const { return op.connected(); }
  // What the program showed after the start-up notice.
  std::vector<std::string> afterNotice() const;

  QTemporaryDir folder;
  MessageLog dialogs;
  qt::QtPlatform platform{dialogs};
  Loader loader{platform};
  Operator op{loader, platform};
};

}  // namespace korven::e2e
