#pragma once

#include <QObject>

namespace korven {
class Control;
}

namespace korven::qt {

class FormView;

// Turns the widgets' mouse, key and focus events into the model's entry
// points; eats a key whose character a handler discarded.
class InputFilter : public QObject {
 public:
  explicit InputFilter(FormView& view) : view_(view) {}
  void watch(QObject* widget, Control& control);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  FormView& view_;
};

// Key code of the classic toolkit for a Qt key, and its shift state.
int classicKey(int qtKey);
int classicShift(Qt::KeyboardModifiers modifiers);

}  // namespace korven::qt
