#pragma once

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <string>

#include <gtest/gtest.h>

#include "app/SimProcess.h"
#include "operator/Images.h"
#include "platform/system/StdFiles.h"
#include "tests/e2e/ProgramUnderTest.h"

namespace korven::e2e {

struct CliRun {
  int exit = -1;
  QString out;
  QString err;
};

// Runs korven-cli in `folder` and waits for it to end.
inline CliRun cli(const QString& folder, const QStringList& arguments) {
  QProcess process;
  process.setWorkingDirectory(folder);
  process.start(QStringLiteral(KORVEN_CLI_PATH), arguments);
  CliRun run;
  if (!process.waitForFinished(180'000)) return run;
  run.exit = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  run.out = QString::fromLatin1(process.readAllStandardOutput());
  run.err = QString::fromLatin1(process.readAllStandardError());
  return run;
}

inline std::string readAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

// Whether `json` is a report (or what `history` prints) as the repository's
// schema describes it.
inline bool matchesSchema(const QString& json, const QString& folder,
                          const char* schema = KORVEN_REPORT_SCHEMA) {
  const QString path = QDir(folder).filePath("out.json");
  StdFiles().replaceFile(path.toStdString(), json.toStdString());
  return QProcess::execute("/usr/bin/python3", {"-m", "jsonschema", "-i", path, schema}) == 0;
}

inline QJsonArray streamsOf(const QJsonArray& report, const QString& address) {
  return simproc::terminalAt(report, address)["streams"].toArray();
}

// A working folder holding the image NEW_WG.BIN, and the simulator's options to
// judge its streams.
class CliFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    StdFiles().replaceFile(QDir(folder.path()).filePath("NEW_WG.BIN").toStdString(), image);
  }
  QStringList simWith(const QStringList& more) {
    return kTolerance + QStringList{"--image", expectedImage(image), "--boot", "whole"} + more;
  }
  const std::string image = imageOf(4, 30);
  QTemporaryDir folder;
};

}  // namespace korven::e2e
