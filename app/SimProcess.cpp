#include "app/SimProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>

namespace korven::simproc {

SimProcess::~SimProcess() {
  if (process_.state() != QProcess::NotRunning) {
    process_.write("quit\n");
    if (!process_.waitForFinished(3000)) process_.kill();
    process_.waitForFinished(1000);
  }
  if (!reportPath_.isEmpty()) QFile::remove(reportPath_);
}

bool SimProcess::start(const QString& program, const QStringList& arguments) {
  // One report file per simulator, even when a process starts several.
  static int started = 0;
  reportPath_ = QDir::temp().filePath(QStringLiteral("korven-sim-report-%1-%2.json")
                                          .arg(QCoreApplication::applicationPid())
                                          .arg(++started));
  process_.setProcessChannelMode(QProcess::MergedChannels);
  process_.start(program, QStringList(arguments) << QStringLiteral("--report") << reportPath_);
  ran_ = process_.waitForStarted(5000);
  return ran_ && !waitForLine({QStringLiteral("READY")}, 10000).isEmpty();
}

QString SimProcess::waitForLine(const QStringList& prefixes, int milliseconds) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < milliseconds) {
    // The program under test keeps running its events while we wait.
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    process_.waitForReadyRead(5);
    output_ += QString::fromLocal8Bit(process_.readAll());
    // Whole lines only: the last piece may still be on its way.
    const QStringList lines = output_.split('\n');
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
      for (const QString& prefix : prefixes) {
        if (lines[i].startsWith(prefix)) return lines[i];
      }
    }
    if (process_.state() == QProcess::NotRunning) return {};
  }
  return {};
}

QString SimProcess::command(const QString& line, const QStringList& answerPrefixes) {
  // What came before the command is no answer to it.
  process_.readAll();
  output_.clear();
  process_.write((line + '\n').toLocal8Bit());
  return waitForLine(answerPrefixes, 10000);
}

int SimProcess::stop(bool terminate) {
  if (process_.state() != QProcess::NotRunning) {
    if (terminate) {
      process_.terminate();
    } else {
      process_.write("quit\n");
    }
    if (!process_.waitForFinished(10000)) {
      process_.kill();
      process_.waitForFinished(1000);
      return -1;
    }
  }
  output_ += QString::fromLocal8Bit(process_.readAll());
  return ran_ && process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

QJsonArray SimProcess::report() {
  const bool running = process_.state() != QProcess::NotRunning;
  if (running && command(QStringLiteral("report"), {QStringLiteral("REPORTED")}).isEmpty())
    return {};
  QFile file(reportPath_);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QJsonDocument::fromJson(file.readAll()).object().value("terminals").toArray();
}

QJsonObject terminalAt(const QJsonArray& terminals, const QString& address) {
  for (const auto& t : terminals) {
    if (t.toObject().value("address").toString() == address) return t.toObject();
  }
  return {};
}

}  // namespace korven::simproc
