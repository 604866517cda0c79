#include "platform/qt/InputFilter.h"

#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QVariant>

#include "platform/form/Controls.h"
#include "platform/qt/FormView.h"

namespace korven::qt {
namespace {

const char* const kControlProperty = "korvenControl";

Control* controlOf(QObject* object) {
  return static_cast<Control*>(object->property(kControlProperty).value<void*>());
}

// Focus moves that the classic toolkit never reported: a drop-down list
// opening, or another window (a message box) taking the focus.
bool ignoredFocusReason(Qt::FocusReason reason) {
  return reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason;
}

bool handleKeyPress(Control& control, QKeyEvent* key) {
  control.userKeyDown(classicKey(key->key()), classicShift(key->modifiers()));
  const QString text = key->text();
  if (text.isEmpty()) return false;
  const int code = text.at(0).unicode();
  if (code > 255) return false;
  // A discarded character never reaches the widget.
  return control.userKeyPress(code) == 0;
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
      return handleKeyPress(*control, static_cast<QKeyEvent*>(event));
    case QEvent::KeyRelease: {
      auto* key = static_cast<QKeyEvent*>(event);
      control->userKeyUp(classicKey(key->key()), classicShift(key->modifiers()));
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
    case QEvent::MouseButtonRelease:
      // Buttons, check boxes and lists report their clicks through their own signals.
      if (control->kind() == ControlKind::Label || control->kind() == ControlKind::TextBox) {
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) control->userClick();
      }
      return false;
    default:
      return false;
  }
}

}  // namespace korven::qt
