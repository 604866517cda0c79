#include "platform/form/Form.h"

namespace korven {

Control* Form::find(const std::string& name, int arrayIndex) {
  if (name == this->name()) return this;
  for (Control* c : controls_) {
    if (c->name() == name && c->arrayIndex() == arrayIndex) return c;
  }
  return nullptr;
}

bool Form::userClose() {
  if (!enabled()) return false;
  onUnload.raise();
  return true;
}

}  // namespace korven
