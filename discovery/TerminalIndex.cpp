#include "discovery/TerminalIndex.h"

namespace korven {

void TerminalIndex::syncWithList() {
  if (lines_ == list_.count()) return;
  addresses_.clear();
  for (int i = 0; i < list_.count(); ++i) addresses_.insert(list_.line(i));
  lines_ = list_.count();
}

bool TerminalIndex::contains(const std::string& address) {
  syncWithList();
  return addresses_.count(address) != 0;
}

void TerminalIndex::added(const std::string& address) {
  addresses_.insert(address);
  ++lines_;
  syncWithList();
}

}  // namespace korven
