#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/Dialogs.h"

namespace korven {

// The message boxes of a program driven from outside: each is recorded and
// taken as acknowledged at once; `onShown` may print it or act as the
// operator would before pressing OK.
class MessageLog : public Dialogs {
 public:
  struct Shown {
    std::string text;
    bool exclamation = false;
  };

  void message(const std::string& text, bool exclamation) override {
    shown.push_back(Shown{text, exclamation});
    if (onShown) onShown(text, exclamation);
  }
  std::vector<std::string> texts() const {
    std::vector<std::string> result;
    result.reserve(shown.size());
    for (const auto& s : shown) result.push_back(s.text);
    return result;
  }

  std::vector<Shown> shown;
  std::function<void(const std::string& text, bool exclamation)> onShown;
};

// A message as one line: its CR LF line breaks become blanks.
std::string oneLine(std::string text);

}  // namespace korven
