#include "view/qt/FormWidgets.h"

#include <QCloseEvent>
#include <QLineEdit>

#include "platform/form/Form.h"

namespace korven::qt {

void WindowWidget::closeEvent(QCloseEvent* event) {
  if (form_.userClose()) {
    event->accept();
  } else {
    event->ignore();
  }
}

ComboEdit::ComboEdit(QWidget* parent) : QComboBox(parent) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);  // Enter must not add the typed text to the list
  setCompleter(nullptr);                 // typed text stays as typed
  // When its edit field loses the focus or takes Return, the combo box takes
  // a typed text that matches a line for a pick of that line: a typed
  // address would close and reopen its own connection. A pick is a line
  // chosen from the open list, nothing else.
  QObject::disconnect(lineEdit(), &QLineEdit::editingFinished, this, nullptr);
  lineEdit()->setContextMenuPolicy(Qt::NoContextMenu);
  lineEdit()->setAcceptDrops(false);
}

void ListWidget::focusInEvent(QFocusEvent* event) {
  // The list view makes its first line current when it gets the focus with
  // none current, which would choose that line's terminal; the next Down
  // would then skip it.
  const int current = currentRow();
  ++quiet_;
  QListWidget::focusInEvent(event);
  if (currentRow() != current) setCurrentRow(current);
  --quiet_;
}

}  // namespace korven::qt
