#include "platform/form/Control.h"

#include "platform/form/Form.h"

namespace korven {

Control::Control(Form* form, ControlKind kind, std::string name, int arrayIndex)
    : form_(form), kind_(kind), name_(std::move(name)), arrayIndex_(arrayIndex) {
  // The form enrols itself last: its registry does not exist yet here.
  if (kind != ControlKind::Form) form_->enrol(this);
}

void Control::setText(std::string text) {
  if (text == text_) return;
  setTextQuietly(std::move(text));
  onChange.raise();
}

void Control::setTextQuietly(std::string text) {
  text_ = std::move(text);
  notify(Aspect::Text);
}

void Control::setEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  notify(Aspect::Enabled);
}

void Control::setVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  notify(Aspect::Visible);
}

void Control::setBackColor(Color color) {
  if (color == backColor_) return;
  backColor_ = color;
  notify(Aspect::BackColor);
}

void Control::setForeColor(Color color) {
  if (color == foreColor_) return;
  foreColor_ = color;
  notify(Aspect::ForeColor);
}

void Control::setToolTip(std::string tip) {
  if (tip == toolTip_) return;
  toolTip_ = std::move(tip);
  notify(Aspect::ToolTip);
}

bool Control::takesInput() const {
  if (!form_->enabled()) return false;
  for (const Control* c = this; c != nullptr; c = c->container) {
    if (!c->enabled() || !c->visible()) return false;
  }
  return true;
}

bool Control::userClick() {
  if (!takesInput()) return false;
  onClick.raise();
  return true;
}

bool Control::userDblClick() {
  if (!takesInput()) return false;
  onDblClick.raise();
  return true;
}

bool Control::userKeyDown(int key, int shift) {
  if (!takesInput()) return false;
  onKeyDown.raise(key, shift);
  return true;
}

bool Control::userKeyUp(int key, int shift) {
  if (!takesInput()) return false;
  onKeyUp.raise(key, shift);
  return true;
}

int Control::userKeyPress(int character) {
  if (!takesInput()) return 0;
  onKeyPress.raise(character);
  return character;
}

bool Control::userFocusIn() {
  if (!takesInput()) return false;
  onGotFocus.raise();
  return true;
}

void Control::userFocusOut() {
  onLostFocus.raise();
}

}  // namespace korven
