#include "platform/form/Form.h"

namespace korven {

bool Form::userClose() {
  if (!enabled()) return false;
  onUnload.raise();
  return true;
}

}  // namespace korven
