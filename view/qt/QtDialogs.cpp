#include "view/qt/QtDialogs.h"

#include <QMessageBox>

#include "view/qt/Latin1.h"

namespace korven::qt {

void QtDialogs::message(const std::string& text, bool exclamation) {
  QMessageBox box(exclamation ? QMessageBox::Warning : QMessageBox::NoIcon, title_, toQString(text),
                  QMessageBox::Ok, parent_);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

}  // namespace korven::qt
