#pragma once

#include <string>

namespace korven {

// Modal message boxes with an OK button only. message() returns when the
// operator has pressed OK.
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  virtual void message(const std::string& text, bool exclamation) = 0;
};

}  // namespace korven
