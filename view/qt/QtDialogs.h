#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/Dialogs.h"

namespace korven::qt {

// Modal QMessageBox with an OK button. Texts are single-byte (Latin-1) strings.
class QtDialogs : public Dialogs {
 public:
  explicit QtDialogs(QString title) : title_(std::move(title)) {}
  void setParent(QWidget* parent) { parent_ = parent; }
  void message(const std::string& text, bool exclamation) override;

 private:
  QString title_;
  QPointer<QWidget> parent_;
};

}  // namespace korven::qt
