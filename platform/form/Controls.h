#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/form/Control.h"

namespace korven {

class Label : public Control {
 public:
  Label(Form* form, std::string name, int arrayIndex = -1)
      : Control(form, ControlKind::Label, std::move(name), arrayIndex) {}
};

class Button : public Control {
 public:
  Button(Form* form, std::string name) : Control(form, ControlKind::Button, std::move(name)) {}
};

class Frame : public Control {
 public:
  Frame(Form* form, std::string name) : Control(form, ControlKind::Frame, std::move(name)) {}
};

// A filled rectangle; its back colour is the fill.
class Shape : public Control {
 public:
  Shape(Form* form, std::string name) : Control(form, ControlKind::Shape, std::move(name)) {}
};

class TextBox : public Control {
 public:
  TextBox(Form* form, std::string name, ControlKind kind = ControlKind::TextBox)
      : Control(form, kind, std::move(name)) {}

  // Types the characters one by one at the end of the text: each goes
  // through onKeyPress, which may discard it; backspace removes the last
  // character. Every kept character changes the text and raises onChange.
  bool userType(std::string_view characters);
  // The view's edit field changed the text by itself (a deletion in the
  // middle, for instance): take it over and raise onChange.
  bool userEdit(std::string text);
};

// A text field with a drop-down list. A sorted box keeps its list in
// case-insensitive text order.
class ComboBox : public TextBox {
 public:
  ComboBox(Form* form, std::string name) : TextBox(form, std::move(name), ControlKind::ComboBox) {}

  bool sorted = false;

  int itemCount() const { return static_cast<int>(items_.size()); }
  const std::string& item(int i) const { return *items_.at(static_cast<std::size_t>(i)); }
  std::vector<std::string> items() const;
  // Appends, or inserts at its sorted place; returns the position.
  int addItem(std::string item);
  // Empties the list and the text; this is no text change (no onChange).
  void clear();

  // The operator picks entry i of the list: the text becomes the entry
  // (without onChange, as in the classic toolkit) and onClick is raised.
  bool userPick(int i);

 private:
  // Held by pointer: a sorted insert into tens of thousands of entries then
  // moves pointers, not texts.
  std::vector<std::unique_ptr<const std::string>> items_;
};

// A list whose lines each carry their own selection mark, and a current line.
class ListBox : public Control {
 public:
  ListBox(Form* form, std::string name) : Control(form, ControlKind::ListBox, std::move(name)) {}

  bool multiSelect = false;

  int count() const { return static_cast<int>(lines_.size()); }
  bool hasLine(int i) const { return i >= 0 && i < count(); }
  const std::string& line(int i) const { return lines_.at(static_cast<std::size_t>(i)).text; }
  void setLine(int i, std::string text);
  void addItem(std::string text);
  // Removes every line; the current line becomes -1 without onClick.
  void clear();

  bool selected(int i) const { return hasLine(i) && lines_[static_cast<std::size_t>(i)].marked; }
  void setSelected(int i, bool marked);

  int listIndex() const { return listIndex_; }
  // Moving the current line, by the program or by the operator, raises onClick.
  void setListIndex(int i);
  bool userSetListIndex(int i);

 private:
  struct Line {
    std::string text;
    bool marked = false;
  };
  std::vector<Line> lines_;
  int listIndex_ = -1;
};

class CheckBox : public Control {
 public:
  CheckBox(Form* form, std::string name) : Control(form, ControlKind::CheckBox, std::move(name)) {}

  int value() const { return value_; }
  // A new value raises onClick, as in the classic toolkit.
  void setValue(int value);
  // The operator's click toggles the box.
  bool userClick() override;

 private:
  int value_ = 0;
};

class ScrollBar : public Control {
 public:
  ScrollBar(Form* form, std::string name, int arrayIndex)
      : Control(form, ControlKind::ScrollBar, std::move(name), arrayIndex) {}

  int min() const { return min_; }
  int max() const { return max_; }
  int value() const { return value_; }
  int smallChange = 1;
  int largeChange = 1;
  // A bound that leaves the value outside the range moves the value with it.
  void setMin(int min);
  void setMax(int max);
  // Values outside the range are clamped; a new value raises onChange.
  void setValue(int value);
  bool userSetValue(int value);

 private:
  void clampValue();
  int min_ = 0;
  int max_ = 32767;
  int value_ = 0;
};

}  // namespace korven
