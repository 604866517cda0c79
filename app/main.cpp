// The firmware loader: one window on the Qt platform.
#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/LoaderArguments.h"
#include "platform/qt/QtPlatform.h"
#include "platform/system/NetworkInterfaces.h"
#include "platform/system/OpenFileLimit.h"
#include "platform/system/SqliteHistory.h"
#include "shell/Loader.h"
#include "view/qt/FormView.h"
#include "view/qt/Latin1.h"
#include "view/qt/QtDialogs.h"
#include "window/ProgPrin.h"

namespace {

bool unset(const char* variable) {
  const char* value = std::getenv(variable);
  return value == nullptr || *value == '\0';
}

// Where the toolkit would look for a display and find none, it aborts with a
// message about reinstalling; this says what is missing instead.
bool noDisplay(bool platformGiven) {
#if defined(_WIN32) || defined(__APPLE__)
  (void)platformGiven;
  return false;
#else
  return !platformGiven && unset("QT_QPA_PLATFORM") && unset("DISPLAY") && unset("WAYLAND_DISPLAY");
#endif
}

}  // namespace

int main(int argc, char** argv) {
  using korven::app::LoaderArguments;
  // Everything the command line asks that needs no window is answered
  // before the toolkit starts, which needs a display.
  const LoaderArguments arguments = korven::app::readLoaderArguments({argv + 1, argv + argc});
  switch (arguments.action) {
    case LoaderArguments::Action::Help:
      std::fputs(korven::app::loaderUsage(), stdout);
      return 0;
    case LoaderArguments::Action::Version:
      std::printf("korven-loader %s\n", korven::kProgramVersion);
      return 0;
    case LoaderArguments::Action::Refuse:
      std::fprintf(stderr, "korven-loader: %s\n", arguments.problem.c_str());
      return 2;
    case LoaderArguments::Action::Run:
      break;
  }
  if (!arguments.interfaces.empty()) {
    std::string problem;
    korven::broadcastInterfaces(arguments.interfaces, &problem);
    if (!problem.empty()) {
      std::fprintf(stderr,
                   "korven-loader: --interface %s; korven-cli interfaces lists those a broadcast "
                   "goes out on\n",
                   problem.c_str());
      return 2;
    }
  }
  if (noDisplay(arguments.platformGiven)) {
    std::fputs(
        "korven-loader: no display to open the window on (DISPLAY is not set); over SSH, "
        "korven-cli does the same work without a window\n",
        stderr);
    return 1;
  }
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
  platform.setBroadcastInterfaces(arguments.interfaces);
  korven::Loader loader(platform);
  // Every update is kept in the fleet's memory beside its report, in the
  // working folder. Without it the window works as ever: the reports stay.
  std::string historyProblem;
  const auto history = korven::openHistory("history.sqlite", historyProblem);
  if (history) {
    loader.report().setHistory(history.get());
  } else {
    std::fprintf(stderr,
                 "korven-loader: history history.sqlite: %s; updates are kept in their "
                 "reports only\n",
                 historyProblem.c_str());
  }
  korven::qt::FormView view(loader.window().PROG_PRIN);
  messageBoxes.setParent(view.window());
  // A failed start-up ends the program at once: no shut-down, nothing saved.
  if (!loader.PROG_PRIN_Load()) return 1;
  return QApplication::exec();
}
