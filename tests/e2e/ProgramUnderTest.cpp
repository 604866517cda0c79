#include "tests/e2e/ProgramUnderTest.h"

#include <QJsonArray>

#include "platform/system/StdFiles.h"
#include "shell/Loader.h"

namespace korven::e2e {

QString expectedImage(const std::string& bytes) {
  static const QTemporaryDir folder;  // removed with everything in it at exit
  const QString path = folder.filePath(QStringLiteral("expected.bin"));
  StdFiles().replaceFile(path.toStdString(), bytes);
  return path;
}

QString verdictOf(const QJsonObject& terminal) {
  const QJsonArray streams = terminal.value("streams").toArray();
  if (streams.size() != 1) return QStringLiteral("streams: %1").arg(streams.size());
  const QJsonObject s = streams[0].toObject();
  QStringList problems;
  for (const QJsonValue& p : s.value("problems").toArray()) problems << p.toString();
  return s.value("verdict").toString() + " " + problems.join("; ");
}

std::vector<std::string> ProgramUnderTest::afterNotice() const {
  std::vector<std::string> texts = dialogs.texts();
  if (!texts.empty() && texts.front() == kStartupNotice) texts.erase(texts.begin());
  return texts;
}

}  // namespace korven::e2e
