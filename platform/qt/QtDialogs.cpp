#include "platform/qt/QtDialogs.h"

#include <QMessageBox>

namespace korven::qt {

void QtDialogs::message(const std::string& text, bool exclamation) {
  QMessageBox box(exclamation ? QMessageBox::Warning : QMessageBox::NoIcon, title_,
                  QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())),
                  QMessageBox::Ok, parent_);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

}  // namespace korven::qt
