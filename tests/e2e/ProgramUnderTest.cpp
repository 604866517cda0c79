#include "tests/e2e/ProgramUnderTest.h"

#include <QJsonArray>

namespace korven::e2e {

std::string imageOf(int blocks, int lastBlockBytes) {
  std::string image(5, '\0');
  for (int i = 0; i < (blocks - 1) * 64 + lastBlockBytes; ++i) {
    image += static_cast<char>((i * 37 + 11) % 256);
  }
  return image;
}

QString expectedImagePath() {
  static const QTemporaryDir folder;  // removed with everything in it at exit
  return folder.filePath(QStringLiteral("expected.bin"));
}

QString verdictOf(const QJsonObject& terminal) {
  const QJsonArray streams = terminal.value("streams").toArray();
  if (streams.size() != 1) return QStringLiteral("streams: %1").arg(streams.size());
  const QJsonObject s = streams[0].toObject();
  QStringList problems;
  for (const QJsonValue& p : s.value("problems").toArray()) problems << p.toString();
  return s.value("verdict").toString() + " " + problems.join("; ");
}

void ProgramUnderTest::chooseImage(const std::string& name, const std::string& bytes) {
  writeFile(folder.filePath(QString::fromStdString(name)), bytes);
  ComboBox& box = w().MENU_NOM_FICHIER;
  box.userFocusIn();
  for (int i = 0; i < box.itemCount(); ++i) {
    if (box.item(i) == name) box.userPick(i);
  }
  box.userFocusOut();
}

bool ProgramUnderTest::updateAndWait(int milliseconds) {
  w().B_UPDATE.userClick();
  return waitFor([this] { return w().PROG_PRIN.enabled(); }, milliseconds);
}

}  // namespace korven::e2e
