#pragma once

#include <string>
#include <unordered_set>

#include "platform/form/Controls.h"

namespace korven {

// A fast look-up of the addresses listed in LST_ALL. The list stays the
// truth: whenever its line count no longer matches, the index is rebuilt
// from it, so a clearing or any other change can never leave it stale.
class TerminalIndex {
 public:
  explicit TerminalIndex(const ListBox& list) : list_(list) {}

  bool contains(const std::string& address);
  // Call after appending `address` to the list.
  void added(const std::string& address);

 private:
  void syncWithList();

  const ListBox& list_;
  std::unordered_set<std::string> addresses_;
  int lines_ = 0;
};

}  // namespace korven
