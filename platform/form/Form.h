#pragma once

#include <string>
#include <vector>

#include "platform/form/Control.h"

namespace korven {

// The window itself: caption, enabled state and background, and the
// registry of its controls, in the order they were created.
class Form : public Control {
 public:
  explicit Form(std::string name) : Control(this, ControlKind::Form, std::move(name)) {}

  Event<> onUnload;

  // The operator (or the window manager) asks to close the window. A
  // disabled window cannot be closed, as with the classic toolkit: during an
  // update that would cut every terminal's stream. True when it closes.
  bool userClose();

  // The controls in the order they were created.
  const std::vector<Control*>& controls() const { return controls_; }

 private:
  friend class Control;
  void enrol(Control* control) { controls_.push_back(control); }
  std::vector<Control*> controls_;
};

}  // namespace korven
