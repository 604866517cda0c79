#include "view/qt/InputFilter.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QVariant>

#include "platform/form/Controls.h"
#include "view/qt/FormView.h"

namespace korven::qt {
namespace {

const char* const kControlProperty = "korvenControl";
// What the classic toolkit's code page makes of a character it has no code for.
constexpr int kUnmappable = '?';

Control* controlOf(QObject* object) {
  return static_cast<Control*>(object->property(kControlProperty).value<void*>());
}

// The edit field of a text box or of a combo box's text part.
QLineEdit* editOf(QObject* watched) {
  if (auto* combo = qobject_cast<QComboBox*>(watched)) return combo->lineEdit();
  return qobject_cast<QLineEdit*>(watched);
}

// Focus moves that the classic toolkit never reported: a drop-down list
// opening, or another window (a message box) taking the focus.
bool ignoredFocusReason(Qt::FocusReason reason) {
  return reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason;
}

// Tab and Shift+Tab move the focus and are never the controls' keys: a box
// whose handler discards every character would otherwise keep the focus
// for ever.
bool movesFocus(const QKeyEvent* key) {
  if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) return false;
  return key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
}

int codeOf(QChar character) {
  return character.unicode() > 0xFF ? kUnmappable : character.unicode();
}

// Text that reaches an edit field by any road (typed, pasted) is typed, one
// character after the other, through the control's key-press handlers;
// only what they keep goes into the field.
void typeInto(Control& control, QLineEdit* edit, const QString& text) {
  QString kept;
  for (QChar character : text) {
    const int code = control.userKeyPress(codeOf(character));
    if (code != 0) kept.append(QChar(code));
  }
  if (!kept.isEmpty()) edit->insert(kept);
}

bool handleKeyPress(Control& control, QObject* watched, QKeyEvent* key) {
  if (movesFocus(key)) return false;
  control.userKeyDown(classicKey(key->key()), classicShift(key->modifiers()));
  QLineEdit* edit = editOf(watched);
  if (edit != nullptr && key->matches(QKeySequence::Paste)) {
    typeInto(control, edit, QGuiApplication::clipboard()->text());
    return true;
  }
  const QString text = key->text();
  // Delete removes, it types nothing (some platforms give it a text).
  if (text.isEmpty() || key->key() == Qt::Key_Delete) return false;
  if (edit != nullptr && text.at(0) >= QChar(' ') && text.at(0) != QChar(0x7F)) {
    typeInto(control, edit, text);
    return true;
  }
  // A control character, or a character for a control without an edit field.
  if (control.userKeyPress(codeOf(text.at(0))) == 0) return true;
  auto* button = qobject_cast<QPushButton*>(watched);
  if (button != nullptr && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
    // The classic toolkit presses a focused button on Return as on Space.
    button->click();
    return true;
  }
  return false;
}

// X11's middle-button paste of the selected text, typed like any other text.
bool handleMiddleClickPaste(Control& control, QObject* watched, QMouseEvent* mouse) {
  auto* edit = qobject_cast<QLineEdit*>(watched);
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (edit == nullptr || mouse->button() != Qt::MiddleButton || !clipboard->supportsSelection()) {
    return false;
  }
  edit->deselect();
  edit->setCursorPosition(edit->cursorPositionAt(mouse->position().toPoint()));
  typeInto(control, edit, clipboard->text(QClipboard::Selection));
  return true;
}

}  // namespace

int classicKey(int qtKey) {
  switch (qtKey) {
    case Qt::Key_Backspace:
      return keys::Backspace;
    case Qt::Key_Tab:
      return keys::Tab;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return keys::Enter;
    case Qt::Key_PageUp:
      return keys::PageUp;
    case Qt::Key_PageDown:
      return keys::PageDown;
    case Qt::Key_End:
      return keys::End;
    case Qt::Key_Home:
      return keys::Home;
    case Qt::Key_Left:
      return keys::Left;
    case Qt::Key_Up:
      return keys::Up;
    case Qt::Key_Right:
      return keys::Right;
    case Qt::Key_Down:
      return keys::Down;
    default:
      // Letters and digits share their codes with the classic toolkit.
      return qtKey & 0xFFFF;
  }
}

int classicShift(Qt::KeyboardModifiers modifiers) {
  return (modifiers.testFlag(Qt::ShiftModifier) ? 1 : 0) |
         (modifiers.testFlag(Qt::ControlModifier) ? 2 : 0) |
         (modifiers.testFlag(Qt::AltModifier) ? 4 : 0);
}

void InputFilter::watch(QObject* widget, Control& control) {
  widget->setProperty(kControlProperty, QVariant::fromValue(static_cast<void*>(&control)));
  widget->installEventFilter(this);
}

bool InputFilter::eventFilter(QObject* watched, QEvent* event) {
  Control* control = controlOf(watched);
  if (control == nullptr || view_.syncing()) return false;
  switch (event->type()) {
    case QEvent::KeyPress:
      return handleKeyPress(*control, watched, static_cast<QKeyEvent*>(event));
    case QEvent::InputMethod: {
      // Composed characters arrive without a key press of their own.
      auto* composed = static_cast<QInputMethodEvent*>(event);
      QLineEdit* edit = editOf(watched);
      if (edit == nullptr || composed->commitString().isEmpty()) return false;
      typeInto(*control, edit, composed->commitString());
      return true;
    }
    case QEvent::KeyRelease: {
      auto* key = static_cast<QKeyEvent*>(event);
      if (!movesFocus(key)) {
        control->userKeyUp(classicKey(key->key()), classicShift(key->modifiers()));
      }
      return false;
    }
    case QEvent::FocusIn:
      if (!ignoredFocusReason(static_cast<QFocusEvent*>(event)->reason())) control->userFocusIn();
      return false;
    case QEvent::FocusOut:
      if (!ignoredFocusReason(static_cast<QFocusEvent*>(event)->reason())) control->userFocusOut();
      return false;
    case QEvent::MouseButtonDblClick:
      if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) control->userDblClick();
      return false;
    case QEvent::MouseButtonRelease: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (handleMiddleClickPaste(*control, watched, mouse)) return true;
      // Buttons, check boxes and lists report their clicks through their own signals.
      if (control->kind() == ControlKind::Label || control->kind() == ControlKind::TextBox) {
        if (mouse->button() == Qt::LeftButton) control->userClick();
      }
      return false;
    }
    default:
      return false;
  }
}

}  // namespace korven::qt
