#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "tests/testkit/TestPlatform.h"
#include "view/qt/FormView.h"
#include "window/ProgPrin.h"

namespace korven::qt {
namespace {

class FormViewTest : public ::testing::Test {
 protected:
  FormViewTest() : view(w.PROG_PRIN) {
    w.PROG_PRIN.setVisible(true);
    QApplication::processEvents();
  }
  template <typename T>
  T* widget(const Control& c) {
    return qobject_cast<T*>(view.widgetOf(c));
  }

  testkit::TestPlatform platform;
  ProgPrin w{platform};
  FormView view;
};

TEST_F(FormViewTest, WidgetsStartAtTheirPlacesWithTheModelsLook) {
  EXPECT_EQ(view.window()->windowTitle(),
            QStringLiteral("Talvoran KORVEN IP DEVICES FIRMWARE        Ver.: 1.1W"));
  EXPECT_EQ(view.window()->size(), QSize(480, 386));
  EXPECT_EQ(view.widgetOf(w.B_UPDATE)->geometry(), QRect(6, 15, 133, 40)) << "inside Frame3";
  EXPECT_EQ(view.widgetOf(w.B_UPDATE)->parentWidget(), view.widgetOf(w.Frame3));
  EXPECT_EQ(view.widgetOf(w.B_UPDATE)->font().pointSizeF(), 18);
  EXPECT_TRUE(view.widgetOf(w.B_UPDATE)->font().bold());
  EXPECT_EQ(view.widgetOf(w.B_UPDATE)->toolTip().contains("SEND THE UPDATE TO THE TERMINAL(S)"),
            true);
  EXPECT_EQ(widget<QCheckBox>(w.SW_DELAY)->text(), QString::fromUtf8("DÉLAIS:"));
  EXPECT_TRUE(widget<QCheckBox>(w.SW_GO_BOOT)->isChecked());
  EXPECT_EQ(widget<QComboBox>(w.MENU_NOM_FICHIER)->lineEdit()->palette().color(QPalette::Base),
            QColor(255, 255, 0));
  for (const Control* hidden :
       {static_cast<const Control*>(&w.NOM_FICHIER), static_cast<const Control*>(&w.VERT),
        static_cast<const Control*>(&w.AFF_UPD_MSG), static_cast<const Control*>(&w.INP_PORT)}) {
    EXPECT_FALSE(view.widgetOf(*hidden)->isVisible()) << hidden->name();
  }
  // The preset button lies outside the window but is reachable by the keyboard.
  QWidget* preset = view.widgetOf(w.Command7);
  EXPECT_FALSE(view.window()->rect().intersects(preset->geometry()));
  EXPECT_EQ(preset->focusPolicy(), Qt::StrongFocus);
  EXPECT_FALSE(view.widgetOf(w.LST_ALL)->isEnabled());
}

TEST_F(FormViewTest, ModelChangesReachTheWidgets) {
  w.INP_IP.setBackColor(w.ROUGE.backColor());
  w.INP_IP.addItem("10.0.0.2");
  w.INP_IP.addItem("10.0.0.10");
  w.INP_IP.setText("10.0.0.9");
  w.LST_ALL.addItem("<b>markup</b>");
  w.LST_ALL.addItem("10.0.0.3");
  w.LST_ALL.setSelected(1, true);
  w.LST_ALL.setListIndex(0);
  w.AFF_NO_LST.setText("<i>0</i>");
  w.AFF_UPD_MSG.setVisible(true);
  w.PROG_PRIN.setEnabled(false);
  QApplication::processEvents();  // a list shows its current row from the next turn on

  auto* ip = widget<QComboBox>(w.INP_IP);
  EXPECT_EQ(ip->lineEdit()->palette().color(QPalette::Base), QColor(255, 128, 128));
  EXPECT_EQ(ip->lineEdit()->text(), QStringLiteral("10.0.0.9"));
  ASSERT_EQ(ip->count(), 2);
  EXPECT_EQ(ip->itemText(0), QStringLiteral("10.0.0.10"));
  auto* list = widget<QListWidget>(w.LST_ALL);
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(0)->text(), QStringLiteral("<b>markup</b>"));
  EXPECT_EQ(list->item(0)->checkState(), Qt::Unchecked);
  EXPECT_EQ(list->item(1)->checkState(), Qt::Checked);
  EXPECT_EQ(list->currentRow(), 0);
  EXPECT_EQ(widget<QLabel>(w.AFF_NO_LST)->textFormat(), Qt::PlainText);
  EXPECT_TRUE(view.widgetOf(w.AFF_UPD_MSG)->isVisible());
  EXPECT_FALSE(view.widgetOf(w.B_UPDATE)->isEnabled()) << "a disabled window takes no input";
}

TEST_F(FormViewTest, TypingReachesTheModelCharacterByCharacter) {
  std::vector<std::string> changes;
  w.INP_IP.onChange.connect([&] { changes.push_back(w.INP_IP.text()); });
  auto* ip = widget<QComboBox>(w.INP_IP);
  ip->setFocus();
  QTest::keyClicks(ip, "10.1");
  EXPECT_EQ(changes, (std::vector<std::string>{"1", "10", "10.", "10.1"}));
}

TEST_F(FormViewTest, ClicksKeysAndFocusReachTheModel) {
  int updates = 0;
  w.B_UPDATE.onClick.connect([&] { ++updates; });
  QTest::mouseClick(view.widgetOf(w.B_UPDATE), Qt::LeftButton);
  EXPECT_EQ(updates, 1);

  QTest::mouseClick(view.widgetOf(w.SW_ALL), Qt::LeftButton);
  EXPECT_EQ(w.SW_ALL.value(), 1);

  for (const char* s : {"-----", "-----", "-----"}) w.LST_STATUS.addItem(s);
  std::vector<std::string> keys;
  w.LST_STATUS.onKeyDown.connect(
      [&](int key, int) { keys.push_back("down " + std::to_string(key)); });
  w.LST_STATUS.onKeyUp.connect([&](int key, int) { keys.push_back("up " + std::to_string(key)); });
  w.LST_STATUS.onClick.connect(
      [&] { keys.push_back("click " + std::to_string(w.LST_STATUS.listIndex())); });
  auto* status = widget<QListWidget>(w.LST_STATUS);
  status->setFocus();
  w.LST_STATUS.setListIndex(0);
  keys.clear();
  QTest::keyClick(status, Qt::Key_Down);
  EXPECT_EQ(keys, (std::vector<std::string>{"down 40", "click 1", "up 40"}))
      << "key down comes before the list moves, key up after";

  int doubles = 0;
  w.LST_STATUS.onDblClick.connect([&] { ++doubles; });
  QTest::mouseDClick(status->viewport(), Qt::LeftButton);
  EXPECT_EQ(doubles, 1);

  int focusIn = 0;
  int focusOut = 0;
  w.MENU_NOM_FICHIER.onGotFocus.connect([&] { ++focusIn; });
  w.MENU_NOM_FICHIER.onLostFocus.connect([&] { ++focusOut; });
  view.window()->activateWindow();
  widget<QComboBox>(w.MENU_NOM_FICHIER)->setFocus(Qt::TabFocusReason);
  view.widgetOf(w.B_ASK)->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(focusIn, 1);
  EXPECT_EQ(focusOut, 1);
}

}  // namespace
}  // namespace korven::qt

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");  // no display needed, also for test discovery
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
