#include <gtest/gtest.h>

#include "platform/form/Controls.h"
#include "platform/form/Form.h"

namespace korven {
namespace {

TEST(FormModel, CurrentLineSetByTheProgramRaisesClick) {
  Form form("F");
  ListBox list(&form, "LIST");
  list.addItem("a");
  list.addItem("b");
  int clicks = 0;
  list.onClick.connect([&] { ++clicks; });

  list.setListIndex(1);
  list.setListIndex(1);
  list.setListIndex(5);  // no such line
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(list.listIndex(), 1);

  list.clear();
  EXPECT_EQ(list.listIndex(), -1);
  EXPECT_EQ(clicks, 1);
}

TEST(FormModel, ComboListRulesSortingPickingAndClearing) {
  Form form("F");
  ComboBox combo(&form, "COMBO");
  combo.sorted = true;
  int changes = 0;
  int clicks = 0;
  combo.onChange.connect([&] { ++changes; });
  combo.onClick.connect([&] { ++clicks; });

  for (const char* item : {"b.BIN", "A.BIN", "10.0.0.2", "a.bin", "10.0.0.10"}) combo.addItem(item);
  EXPECT_EQ(combo.items(),
            (std::vector<std::string>{"10.0.0.10", "10.0.0.2", "A.BIN", "a.bin", "b.BIN"}));

  combo.userPick(4);
  EXPECT_EQ(combo.text(), "b.BIN");
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(changes, 0) << "picking from the list raises Click, not Change";

  combo.setText("typed");
  ASSERT_EQ(changes, 1);
  combo.clear();
  EXPECT_EQ(combo.itemCount(), 0);
  EXPECT_EQ(combo.text(), "");
  EXPECT_EQ(changes, 1) << "emptying the list empties the text without Change";
}

TEST(FormModel, EveryLineCarriesItsOwnMark) {
  Form form("F");
  ListBox list(&form, "LIST");
  list.multiSelect = true;
  for (int i = 0; i < 4; ++i) list.addItem("line");
  list.setSelected(1, true);
  list.setSelected(3, true);
  list.setSelected(1, false);
  list.setListIndex(2);
  EXPECT_FALSE(list.selected(0));
  EXPECT_FALSE(list.selected(1));
  EXPECT_FALSE(list.selected(2)) << "the current line is not a mark";
  EXPECT_TRUE(list.selected(3));
  EXPECT_FALSE(list.selected(9));
}

TEST(FormModel, DisabledFormFrameOrControlTakesNoInput) {
  Form form("F");
  Frame frame(&form, "FRAME");
  Button button(&form, "BUTTON");
  button.container = &frame;
  CheckBox box(&form, "BOX");
  TextBox text(&form, "TEXT");
  int clicks = 0;
  button.onClick.connect([&] { ++clicks; });

  EXPECT_TRUE(button.userClick());
  form.setEnabled(false);
  EXPECT_FALSE(button.userClick());
  EXPECT_FALSE(box.userClick());
  EXPECT_FALSE(text.userType("1"));
  form.setEnabled(true);
  frame.setEnabled(false);
  EXPECT_FALSE(button.userClick());
  frame.setEnabled(true);
  button.setVisible(false);
  EXPECT_FALSE(button.userClick());
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(box.value(), 0);
  EXPECT_EQ(text.text(), "");

  // The program still drives a disabled control.
  text.setEnabled(false);
  text.setText("set");
  EXPECT_EQ(text.text(), "set");
}

TEST(FormModel, AScrollBarValueStaysInItsRange) {
  Form form("F");
  ScrollBar bar(&form, "BAR", 0);
  std::vector<int> values;
  bar.onChange.connect([&] { values.push_back(bar.value()); });
  bar.setMax(10);
  bar.setValue(10);
  bar.setMax(3);  // the value follows a bound that passes it
  bar.setValue(-4);
  EXPECT_EQ(values, (std::vector<int>{10, 3, 0}));
}

}  // namespace
}  // namespace korven
