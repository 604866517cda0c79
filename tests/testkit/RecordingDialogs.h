#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/Dialogs.h"

namespace korven::testkit {

// Message boxes for tests: each is recorded, and `whileOpen` runs as if the
// operator did something before pressing OK.
class RecordingDialogs : public Dialogs {
 public:
  struct Shown {
    std::string text;
    bool exclamation;
  };

  void message(const std::string& text, bool exclamation) override {
    shown.push_back(Shown{text, exclamation});
    if (whileOpen) whileOpen(text);
  }

  std::vector<std::string> texts() const {
    std::vector<std::string> result;
    for (const auto& s : shown) result.push_back(s.text);
    return result;
  }

  std::vector<Shown> shown;
  std::function<void(const std::string&)> whileOpen;
};

}  // namespace korven::testkit
