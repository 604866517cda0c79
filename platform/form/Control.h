#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/Color.h"
#include "platform/Event.h"

namespace korven {

class Form;

enum class ControlKind {
  Form,
  Label,
  TextBox,
  ComboBox,
  ListBox,
  CheckBox,
  Button,
  ScrollBar,
  Shape,
  Frame
};

enum class Alignment { Left, Right, Center };

// Left, top, width and height in twips (15 twips per device-independent pixel).
struct Place {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

struct Font {
  double points = 8.25;
  bool bold = false;
};

// What a change touched, so that a view can update just that part.
enum class Aspect {
  Text,
  Enabled,
  Visible,
  BackColor,
  ForeColor,
  ToolTip,
  ListReset,     // every line may differ: rebuild the list
  LineInserted,  // index: the new line's position
  LineChanged,   // index: the line whose text changed
  LineMark,      // index: the line whose selection mark changed
  CurrentLine,
  Value,
  Range,
  Repaint,  // paint the control now, before the handler goes on
};

struct ModelChange {
  Aspect aspect;
  int index = -1;
};

// Key codes of the keys the logic and the view talk about.
namespace keys {
inline constexpr int Backspace = 8;
inline constexpr int Tab = 9;
inline constexpr int Enter = 13;
inline constexpr int PageUp = 33;
inline constexpr int PageDown = 34;
inline constexpr int End = 35;
inline constexpr int Home = 36;
inline constexpr int Left = 37;
inline constexpr int Up = 38;
inline constexpr int Right = 39;
inline constexpr int Down = 40;
}  // namespace keys

// One control of a window: the properties the logic reads and writes, the
// events it handles, and the entry points through which the operator (the
// Qt view, or a test acting as the operator) reaches it.
class Control {
 public:
  Control(Form* form, ControlKind kind, std::string name, int arrayIndex = -1);
  virtual ~Control() = default;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  const std::string& name() const { return name_; }
  int arrayIndex() const { return arrayIndex_; }
  ControlKind kind() const { return kind_; }
  Form* form() const { return form_; }

  // Look, fixed when the window is built.
  Place place;
  Font font;
  Alignment alignment = Alignment::Left;
  bool border = false;
  bool autoSize = false;
  Control* container = nullptr;  // the frame that holds it, if any
  int tabIndex = 0;
  // What a screen reader calls the control where its caption does not say
  // it: a box, a list, a label that shows a value.
  std::string role;

  const std::string& text() const { return text_; }
  // Setting a different text raises onChange, exactly as typing does.
  void setText(std::string text);
  bool enabled() const { return enabled_; }
  void setEnabled(bool enabled);
  bool visible() const { return visible_; }
  void setVisible(bool visible);
  Color backColor() const { return backColor_; }
  void setBackColor(Color color);
  Color foreColor() const { return foreColor_; }
  void setForeColor(Color color);
  const std::string& toolTip() const { return toolTip_; }
  void setToolTip(std::string tip);
  // Asks the view to paint the control at once, even if no event is processed.
  void refresh() { notify(Aspect::Repaint); }

  // True when the operator can reach the control: it, its frames and the
  // window are enabled and it is shown.
  bool takesInput() const;

  Event<> onClick;
  Event<> onDblClick;
  Event<> onChange;
  Event<> onGotFocus;
  Event<> onLostFocus;
  Event<int&> onKeyPress;     // the character code; a handler sets it to 0 to discard it
  Event<int, int> onKeyDown;  // key code, shift state
  Event<int, int> onKeyUp;

  // Operator's entry points; each returns false when the control takes no input.
  virtual bool userClick();
  bool userDblClick();
  bool userKeyDown(int key, int shift = 0);
  bool userKeyUp(int key, int shift = 0);
  // Returns the character after the handlers ran: 0 when discarded.
  int userKeyPress(int character);
  bool userFocusIn();
  void userFocusOut();

  void setObserver(std::function<void(const ModelChange&)> observer) {
    observer_ = std::move(observer);
  }

 protected:
  void notify(Aspect aspect, int index = -1) const {
    if (observer_) observer_(ModelChange{aspect, index});
  }
  // Changes the text and tells the view, without raising onChange.
  void setTextQuietly(std::string text);

 private:
  Form* form_;
  ControlKind kind_;
  std::string name_;
  int arrayIndex_;
  std::string text_;
  bool enabled_ = true;
  bool visible_ = true;
  Color backColor_ = Color::systemButtonFace();
  Color foreColor_ = Color::rgb(0, 0, 0);
  std::string toolTip_;
  std::function<void(const ModelChange&)> observer_;
};

}  // namespace korven
