// The firmware loader: one window on the Qt platform.
#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/qt/QtPlatform.h"
#include "platform/system/NetworkInterfaces.h"
#include "platform/system/OpenFileLimit.h"
#include "shell/Loader.h"
#include "view/qt/FormView.h"
#include "view/qt/Latin1.h"
#include "view/qt/QtDialogs.h"

namespace {

// The command line of the window: --interface NAME[,NAME...] restricts its
// broadcasts to those interfaces. False, with the message printed, when
// the arguments are wrong.
bool readArguments(const QStringList& arguments, std::vector<std::string>& interfaces) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      "The firmware loader's window. Broadcasts (the query, the frames to all\n"
      "terminals) go out on every interface that can broadcast, or on those given.");
  const QCommandLineOption interface(
      "interface", "Broadcasts go out on these interfaces only (korven-cli interfaces lists them).",
      "NAME,...");
  parser.addOption(interface);
  const QCommandLineOption help = parser.addHelpOption();
  if (!parser.parse(arguments) || !parser.positionalArguments().isEmpty()) {
    const std::string what =
        parser.positionalArguments().isEmpty()
            ? parser.errorText().chopped(parser.errorText().endsWith('.') ? 1 : 0).toStdString()
            : "unexpected '" + parser.positionalArguments().first().toStdString() + "'";
    std::fprintf(stderr, "korven-loader: %s; korven-loader --help shows the options\n",
                 what.c_str());
    return false;
  }
  if (parser.isSet(help)) {
    std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
    std::exit(0);
  }
  if (!parser.isSet(interface)) return true;
  for (const QString& name : parser.value(interface).split(',')) {
    interfaces.push_back(name.toStdString());
  }
  std::string problem;
  korven::broadcastInterfaces(interfaces, &problem);
  if (problem.empty()) return true;
  std::fprintf(stderr,
               "korven-loader: --interface %s; korven-cli interfaces lists those a broadcast goes "
               "out on\n",
               problem.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  // One connection per terminal of a batch needs many descriptors.
  korven::raiseOpenFileLimit();
  // Screen readers and other assistive clients reach the window without a
  // setting of the desktop's, wherever the accessibility bus runs.
  if (qEnvironmentVariableIsEmpty("QT_LINUX_ACCESSIBILITY_ALWAYS_ON")) {
    qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
  }
  QApplication application(argc, argv);
  std::vector<std::string> interfaces;
  if (!readArguments(QApplication::arguments(), interfaces)) return 2;
  korven::qt::QtDialogs messageBoxes(korven::qt::toQString(korven::kProgramName));
  korven::qt::QtPlatform platform(messageBoxes);
  platform.setBroadcastInterfaces(interfaces);
  korven::Loader loader(platform);
  korven::qt::FormView view(loader.window().PROG_PRIN);
  messageBoxes.setParent(view.window());
  // A failed start-up ends the program at once: no shut-down, nothing saved.
  if (!loader.PROG_PRIN_Load()) return 1;
  return QApplication::exec();
}
