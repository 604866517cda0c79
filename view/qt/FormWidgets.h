#pragma once

#include <QComboBox>
#include <QListWidget>
#include <QWidget>

namespace korven {
class Form;
}

namespace korven::qt {

// The window: a close request is the model's to grant.
class WindowWidget : public QWidget {
 public:
  explicit WindowWidget(Form& form) : form_(form) {}

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  Form& form_;
};

// An editable combo box whose list is picked from only when it is open.
class ComboEdit : public QComboBox {
 public:
  explicit ComboEdit(QWidget* parent);
};

// A list that keeps "no current line" when it gets the focus.
class ListWidget : public QListWidget {
 public:
  // `quiet` counts the stretches in which the list's own signals are not
  // the operator's doing.
  ListWidget(QWidget* parent, int& quiet) : QListWidget(parent), quiet_(quiet) {}

 protected:
  void focusInEvent(QFocusEvent* event) override;

 private:
  int& quiet_;
};

}  // namespace korven::qt
