// The firmware loader: one window on the Qt platform.
#include <QApplication>

#include "platform/qt/QtPlatform.h"
#include "platform/system/OpenFileLimit.h"
#include "shell/Loader.h"
#include "view/qt/FormView.h"
#include "view/qt/Latin1.h"
#include "view/qt/QtDialogs.h"

int main(int argc, char** argv) {
  // One connection per terminal of a batch needs many descriptors.
  korven::raiseOpenFileLimit();
  // Screen readers and other assistive clients reach the window without a
  // setting of the desktop's, wherever the accessibility bus runs.
  if (qEnvironmentVariableIsEmpty("QT_LINUX_ACCESSIBILITY_ALWAYS_ON")) {
    qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
  }
  QApplication application(argc, argv);
  korven::qt::QtDialogs messageBoxes(korven::qt::toQString(korven::kProgramName));
  korven::qt::QtPlatform platform(messageBoxes);
  korven::Loader loader(platform);
  korven::qt::FormView view(loader.window().PROG_PRIN);
  messageBoxes.setParent(view.window());
  // A failed start-up ends the program at once: no shut-down, nothing saved.
  if (!loader.PROG_PRIN_Load()) return 1;
  return QApplication::exec();
}
