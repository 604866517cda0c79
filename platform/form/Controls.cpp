#include "platform/form/Controls.h"

#include <algorithm>
#include <cctype>

namespace korven {
namespace {

bool lessIgnoringCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) <
           std::tolower(static_cast<unsigned char>(y));
  });
}

}  // namespace

bool TextBox::userType(std::string_view characters) {
  if (!takesInput()) return false;
  for (char c : characters) {
    const int kept = userKeyPress(static_cast<unsigned char>(c));
    if (kept == 0) continue;
    std::string next = text();
    if (kept == keys::Backspace) {
      if (next.empty()) continue;
      next.pop_back();
    } else {
      next.push_back(static_cast<char>(kept));
    }
    setText(std::move(next));
  }
  return true;
}

bool TextBox::userEdit(std::string text) {
  if (!takesInput()) return false;
  setText(std::move(text));
  return true;
}

std::vector<std::string> ComboBox::items() const {
  std::vector<std::string> all;
  all.reserve(items_.size());
  for (const auto& item : items_) all.push_back(*item);
  return all;
}

int ComboBox::addItem(std::string item) {
  auto at = items_.end();
  if (sorted) {
    at = std::upper_bound(items_.begin(), items_.end(), item,
                          [](const std::string& text, const std::unique_ptr<const std::string>& p) {
                            return lessIgnoringCase(text, *p);
                          });
  }
  const int index = static_cast<int>(at - items_.begin());
  items_.insert(at, std::make_unique<const std::string>(std::move(item)));
  notify(Aspect::LineInserted, index);
  return index;
}

void ComboBox::clear() {
  items_.clear();
  notify(Aspect::ListReset);
  setTextQuietly(std::string());
}

bool ComboBox::userPick(int i) {
  if (!takesInput() || i < 0 || i >= itemCount()) return false;
  setTextQuietly(item(i));
  onClick.raise();
  return true;
}

void ListBox::setLine(int i, std::string text) {
  if (!hasLine(i)) return;
  lines_[static_cast<std::size_t>(i)].text = std::move(text);
  notify(Aspect::LineChanged, i);
}

void ListBox::addItem(std::string text) {
  lines_.push_back(Line{std::move(text), false});
  notify(Aspect::LineInserted, count() - 1);
}

void ListBox::clear() {
  lines_.clear();
  listIndex_ = -1;
  notify(Aspect::ListReset);
}

void ListBox::setSelected(int i, bool marked) {
  if (!hasLine(i)) return;
  auto& line = lines_[static_cast<std::size_t>(i)];
  if (line.marked == marked) return;
  line.marked = marked;
  notify(Aspect::LineMark, i);
}

void ListBox::setListIndex(int i) {
  if (i < -1 || i >= count() || i == listIndex_) return;
  listIndex_ = i;
  notify(Aspect::CurrentLine, i);
  onClick.raise();
}

bool ListBox::userSetListIndex(int i) {
  if (!takesInput()) return false;
  setListIndex(i);
  return true;
}

void CheckBox::setValue(int value) {
  if (value == value_) return;
  value_ = value;
  notify(Aspect::Value);
  onClick.raise();
}

bool CheckBox::userClick() {
  if (!takesInput()) return false;
  setValue(value_ == 1 ? 0 : 1);
  return true;
}

void ScrollBar::setMin(int min) {
  min_ = min;
  notify(Aspect::Range);
  clampValue();
}

void ScrollBar::setMax(int max) {
  max_ = max;
  notify(Aspect::Range);
  clampValue();
}

void ScrollBar::clampValue() {
  const int low = std::min(min_, max_);
  const int high = std::max(min_, max_);
  setValue(std::clamp(value_, low, high));
}

void ScrollBar::setValue(int value) {
  value = std::clamp(value, std::min(min_, max_), std::max(min_, max_));
  if (value == value_) return;
  value_ = value;
  notify(Aspect::Value);
  onChange.raise();
}

bool ScrollBar::userSetValue(int value) {
  if (!takesInput()) return false;
  setValue(value);
  return true;
}

}  // namespace korven
