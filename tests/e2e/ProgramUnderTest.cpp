#include "tests/e2e/ProgramUnderTest.h"

#include <QFile>

namespace korven::e2e {

void ProgramUnderTest::chooseImage(const std::string& name, const std::string& bytes) {
  QFile file(folder.filePath(QString::fromStdString(name)));
  file.open(QIODevice::WriteOnly);
  file.write(bytes.data(), static_cast<qint64>(bytes.size()));
  file.close();
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
