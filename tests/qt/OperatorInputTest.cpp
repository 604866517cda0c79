// The window driven through its real widgets, as an operator drives it:
// keys, Tab, Return, mouse clicks, focus moving away, a close request.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QTest>

#include "shell/Loader.h"
#include "tests/testkit/TestPlatform.h"
#include "view/qt/FormView.h"

namespace korven::qt {
namespace {

class OperatorInputTest : public ::testing::Test {
 protected:
  OperatorInputTest() {
    platform.fileSystem.add("ALPHA.BIN", "A");
    platform.fileSystem.add("TEST3.BIN", "T");
    view = std::make_unique<FormView>(w().PROG_PRIN);
    EXPECT_TRUE(loader.PROG_PRIN_Load());
    QApplication::setActiveWindow(view->window());
    QApplication::processEvents();
  }

  ProgPrin& w() { return loader.window(); }
  QWidget* widget(const Control& c) { return view->widgetOf(c); }
  QComboBox* combo(const Control& c) { return qobject_cast<QComboBox*>(widget(c)); }
  QLineEdit* edit(const Control& c) {
    if (auto* box = combo(c)) return box->lineEdit();
    return qobject_cast<QLineEdit*>(widget(c));
  }
  bool hasFocus(const Control& c) { return QApplication::focusWidget() == widget(c); }
  void focus(const Control& c, Qt::FocusReason reason = Qt::OtherFocusReason) {
    widget(c)->setFocus(reason);
    QApplication::processEvents();
  }
  // A typed character that Latin-1 has no code for.
  static void typeEuro(QWidget* target) {
    QKeyEvent press(QEvent::KeyPress, 0x20AC, Qt::NoModifier, QString(QChar(0x20AC)));
    QApplication::sendEvent(target, &press);
  }
  bool green() { return w().INP_IP.backColor() == w().VERT.backColor(); }
  // What the Connect event of the single terminal does.
  void connectedToTypedAddress() { w().INP_IP.setBackColor(w().VERT.backColor()); }

  testkit::TestPlatform platform;
  Loader loader{platform};
  std::unique_ptr<FormView> view;
};

TEST_F(OperatorInputTest, OnlyALineChosenFromTheOpenListIsAPick) {
  w().INP_IP.addItem("10.0.0.2");
  w().INP_IP.addItem("10.0.0.3");
  int picks = 0;
  w().INP_IP.onClick.connect([&] { ++picks; });
  auto* ip = combo(w().INP_IP);
  focus(w().INP_IP);
  ip->lineEdit()->selectAll();
  QTest::keyClicks(ip, "10.0.0.3");
  connectedToTypedAddress();

  QTest::keyClick(ip, Qt::Key_Return);
  QTest::keyClick(ip, Qt::Key_Tab);
  focus(w().INP_IP);
  QTest::mouseClick(widget(w().B_ASK), Qt::LeftButton);
  EXPECT_FALSE(hasFocus(w().INP_IP)) << "the click took the focus";
  EXPECT_EQ(picks, 0) << "Return, Tab and a click elsewhere leave the typed address alone";
  EXPECT_TRUE(green()) << "the connection to the typed address stays up";

  ip->showPopup();
  QAbstractItemView* list = ip->view();
  const QRect line = list->visualRect(list->model()->index(0, 0));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, line.center());
  EXPECT_EQ(picks, 1);
  EXPECT_EQ(w().INP_IP.text(), "10.0.0.2");
  EXPECT_FALSE(green()) << "the pick points the connection at the picked address";

  ip->showPopup();
  QTest::keyClick(ip->view(), Qt::Key_Down);
  QTest::keyClick(ip->view(), Qt::Key_Return);
  EXPECT_EQ(picks, 2) << "arrow keys and Return in the open list pick too";
  EXPECT_EQ(w().INP_IP.text(), "10.0.0.3");
}

TEST_F(OperatorInputTest, TheWidgetsShowTheModel) {
  EXPECT_EQ(widget(w().B_UPDATE)->geometry(), QRect(6, 15, 133, 40)) << "inside Frame3";
  EXPECT_EQ(qobject_cast<QCheckBox*>(widget(w().SW_DELAY))->text(), QString::fromUtf8("DÉLAIS:"));
  EXPECT_FALSE(widget(w().NOM_FICHIER)->isVisible());
  // The preset button lies outside the window but the keyboard reaches it.
  EXPECT_FALSE(view->window()->rect().intersects(widget(w().Command7)->geometry()));
  EXPECT_EQ(widget(w().Command7)->focusPolicy(), Qt::StrongFocus);

  // Changes of the model, network text shown as it came.
  w().INP_IP.addItem("10.0.0.2");
  w().INP_IP.addItem("10.0.0.10");
  w().INP_IP.setText("10.0.0.9");
  EXPECT_EQ(edit(w().INP_IP)->palette().color(QPalette::Base), QColor(255, 128, 128));
  EXPECT_EQ(edit(w().INP_IP)->text(), QStringLiteral("10.0.0.9"));
  w().SW_ALL.userClick();
  w().LST_ALL.addItem("<b>markup</b>");
  w().LST_ALL.addItem("10.0.0.3");
  w().LST_ALL.setSelected(1, true);
  w().LST_ALL.setListIndex(0);
  w().AFF_NO_LST.setText("<i>0</i>");
  QApplication::processEvents();  // a list shows its current row from the next turn on
  ASSERT_EQ(combo(w().INP_IP)->count(), 2);
  EXPECT_EQ(combo(w().INP_IP)->itemText(0), QStringLiteral("10.0.0.10"));
  auto* list = qobject_cast<QListWidget*>(widget(w().LST_ALL));
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(0)->text(), QStringLiteral("<b>markup</b>"));
  EXPECT_EQ(list->item(0)->checkState(), Qt::Unchecked);
  EXPECT_EQ(list->item(1)->checkState(), Qt::Checked);
  EXPECT_EQ(list->currentRow(), 0);
  EXPECT_EQ(qobject_cast<QLabel*>(widget(w().AFF_NO_LST))->textFormat(), Qt::PlainText);
  w().PROG_PRIN.setEnabled(false);
  EXPECT_FALSE(widget(w().B_UPDATE)->isEnabled()) << "a disabled window takes no input";
}

TEST_F(OperatorInputTest, KeysClicksAndFocusReachTheModelAsTheyCome) {
  std::vector<std::string> changes;
  w().INP_IP.onChange.connect([&] { changes.push_back(w().INP_IP.text()); });
  focus(w().INP_IP);
  edit(w().INP_IP)->clear();
  changes.clear();
  QTest::keyClicks(widget(w().INP_IP), "10.1");
  EXPECT_EQ(changes, (std::vector<std::string>{"1", "10", "10.", "10.1"}));

  QTest::mouseClick(widget(w().SW_ALL), Qt::LeftButton);
  EXPECT_EQ(w().SW_ALL.value(), 1);
  w().LST_STATUS.addItem("FULL");
  QTest::mouseDClick(qobject_cast<QListWidget*>(widget(w().LST_STATUS))->viewport(),
                     Qt::LeftButton);
  EXPECT_EQ(w().LST_STATUS.line(0), "-----");

  // Entering the yellow box lists the folder again; leaving it copies the choice.
  platform.fileSystem.add("LATER.BIN", "L");
  focus(w().MENU_NOM_FICHIER, Qt::TabFocusReason);
  EXPECT_EQ(w().MENU_NOM_FICHIER.itemCount(), 3);
  w().NOM_FICHIER.setText("02.BIN");
  focus(w().B_ASK, Qt::TabFocusReason);
  EXPECT_EQ(w().NOM_FICHIER.text(), w().MENU_NOM_FICHIER.text());
}

TEST_F(OperatorInputTest, TabAndShiftTabLeaveEveryBoxAndReachNoKeyHandler) {
  w().SW_ALL.userClick();  // LST_ALL takes input in all-terminals mode
  w().AFF_STATUS0.setText("FULL");
  const std::string image = w().MENU_NOM_FICHIER.text();
  for (const Control* box :
       {static_cast<const Control*>(&w().MENU_NOM_FICHIER),
        static_cast<const Control*>(&w().AFF_STATUS0), static_cast<const Control*>(&w().LST_ALL)}) {
    focus(*box);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_FALSE(hasFocus(*box)) << box->name() << " kept the focus on Tab";
    focus(*box);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_FALSE(hasFocus(*box)) << box->name() << " kept the focus on Shift+Tab";
  }
  EXPECT_EQ(w().AFF_STATUS0.text(), "FULL");
  EXPECT_EQ(w().MENU_NOM_FICHIER.text(), image);
}

TEST_F(OperatorInputTest, ReturnAndSpacePressTheFocusedButton) {
  int asks = 0;
  w().B_ASK.onClick.connect([&] { ++asks; });
  focus(w().B_ASK, Qt::TabFocusReason);
  QTest::keyClick(widget(w().B_ASK), Qt::Key_Return);
  QTest::keyClick(widget(w().B_ASK), Qt::Key_Enter, Qt::KeypadModifier);
  QTest::keyClick(widget(w().B_ASK), Qt::Key_Space);
  EXPECT_EQ(asks, 3);
}

TEST_F(OperatorInputTest, TheWindowCannotBeClosedWhileItIsDisabled) {
  view->window()->show();
  w().INP_IP.setText("10.0.0.7");
  w().PROG_PRIN.setEnabled(false);  // as during an update
  EXPECT_FALSE(view->window()->close());
  EXPECT_TRUE(view->window()->isVisible());
  EXPECT_EQ(platform.fileSystem.find("TCP_BRD.CFG"), nullptr) << "nothing saved";

  w().PROG_PRIN.setEnabled(true);
  EXPECT_TRUE(view->window()->close());
  ASSERT_NE(platform.fileSystem.find("TCP_BRD.CFG"), nullptr);
  EXPECT_EQ(platform.fileSystem.find("TCP_BRD.CFG")->content, "10.0.0.7\r\n");
}

TEST_F(OperatorInputTest, BoxesThatDiscardCharactersDiscardEveryCharacter) {
  const std::string image = w().MENU_NOM_FICHIER.text();
  focus(w().MENU_NOM_FICHIER);
  typeEuro(widget(w().MENU_NOM_FICHIER));
  EXPECT_EQ(w().MENU_NOM_FICHIER.text(), image);
  EXPECT_EQ(w().NOM_FICHIER.text(), image);
  EXPECT_EQ(edit(w().MENU_NOM_FICHIER)->text().toStdString(), image);

  w().AFF_STATUS0.setText("FULL");
  focus(w().AFF_STATUS0);
  typeEuro(widget(w().AFF_STATUS0));
  EXPECT_EQ(w().AFF_STATUS0.text(), "-----");
  EXPECT_EQ(edit(w().AFF_STATUS0)->text(), QStringLiteral("-----"));

  w().AFF_STATUS0.setText("FULL");
  QInputMethodEvent composed;
  composed.setCommitString(QStringLiteral("\u00E9"));
  QApplication::sendEvent(widget(w().AFF_STATUS0), &composed);
  EXPECT_EQ(w().AFF_STATUS0.text(), "-----") << "a composed character";

  // Pasted text is typed text.
  w().AFF_STATUS0.setText("FULL");
  QApplication::clipboard()->setText(QStringLiteral("NEW"));
  QTest::keyClick(widget(w().AFF_STATUS0), Qt::Key_Insert, Qt::ShiftModifier);
  EXPECT_EQ(w().AFF_STATUS0.text(), "-----");
  focus(w().MENU_NOM_FICHIER);
  QTest::keyClick(widget(w().MENU_NOM_FICHIER), Qt::Key_Insert, Qt::ShiftModifier);
  EXPECT_EQ(w().MENU_NOM_FICHIER.text(), image);

  // Dropped text finds no box to land in.
  w().AFF_STATUS0.setText("FULL");
  QMimeData dragged;
  dragged.setText(QStringLiteral("NEW"));
  QWindow* window = view->window()->windowHandle();
  const QPoint at = widget(w().AFF_STATUS0)->mapTo(view->window(), QPoint(5, 5));
  QDragEnterEvent enter(at, Qt::CopyAction, &dragged, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window, &enter);
  QDropEvent drop(at, Qt::CopyAction, &dragged, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window, &drop);
  EXPECT_EQ(w().AFF_STATUS0.text(), "FULL");
  EXPECT_EQ(edit(w().AFF_STATUS0)->text(), QStringLiteral("FULL"));

  // A box that keeps characters shows what it holds.
  focus(w().INP_DEL);
  edit(w().INP_DEL)->selectAll();
  typeEuro(widget(w().INP_DEL));
  EXPECT_EQ(w().INP_DEL.text(), "?");
  EXPECT_EQ(edit(w().INP_DEL)->text(), QStringLiteral("?"));
}

TEST_F(OperatorInputTest, TabbingIntoAListWithoutACurrentLineChoosesNoLine) {
  for (const char* a : {"10.0.0.2", "10.0.0.3"}) {
    w().LST_ALL.addItem(a);
    w().LST_STATUS.addItem("-----");
  }
  int clicks = 0;
  w().LST_ALL.onClick.connect([&] { ++clicks; });
  focus(w().LST_STATUS, Qt::TabFocusReason);
  EXPECT_EQ(w().LST_STATUS.listIndex(), -1);
  EXPECT_EQ(clicks, 0);
  QTest::keyClick(widget(w().LST_STATUS), Qt::Key_Down);
  EXPECT_EQ(w().LST_STATUS.listIndex(), 0);
  EXPECT_EQ(w().LST_ALL.listIndex(), 0);
  EXPECT_EQ(w().INP_IP.text(), "10.0.0.2");
}

TEST_F(OperatorInputTest, DuringAnUpdateOnlyTheWindowsOwnBackgroundTurnsRed) {
  view->window()->show();
  w().PROG_PRIN.setBackColor(w().ROUGE.backColor());
  w().PROG_PRIN.setEnabled(false);
  const QImage picture = view->window()->grab().toImage();
  const QColor red(255, 128, 128);
  auto backgroundAt = [&](const Control& c, QPoint at) {
    return picture.pixelColor(widget(c)->mapTo(view->window(), at));
  };
  EXPECT_EQ(picture.pixelColor(view->window()->width() - 3, view->window()->height() - 3), red);
  // Points clear of text, borders and the controls a frame holds.
  EXPECT_NE(backgroundAt(w().Label5, {1, 0}), red);
  EXPECT_NE(backgroundAt(w().Label7_0, {1, 0}), red);
  EXPECT_NE(backgroundAt(w().SW_GO_BOOT, {widget(w().SW_GO_BOOT)->width() / 2, 0}), red);
  EXPECT_NE(backgroundAt(w().Frame3, {widget(w().Frame3)->width() - 15, 30}), red);
}

TEST_F(OperatorInputTest, EveryControlIsNamedForScreenReaders) {
  for (const Control* c : w().PROG_PRIN.controls()) {
    QWidget* shown = widget(*c);
    const QString name =
        QString::fromStdString(c->name()) +
        (c->arrayIndex() >= 0 ? QStringLiteral("(%1)").arg(c->arrayIndex()) : QString());
    EXPECT_EQ(shown->objectName(), name);
    QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(shown);
    ASSERT_NE(spoken, nullptr) << c->name();
    EXPECT_FALSE(spoken->text(QAccessible::Name).isEmpty()) << c->name();
    if (!c->toolTip().empty()) {
      EXPECT_EQ(spoken->text(QAccessible::Description).toStdString(), c->toolTip()) << c->name();
    }
  }
  EXPECT_EQ(QAccessible::queryAccessibleInterface(widget(w().INP_IP))->text(QAccessible::Name),
            QStringLiteral("Terminal address"));

  w().SW_ALL.userClick();
  w().LST_ALL.addItem("10.0.0.2");
  w().LST_ALL.setSelected(0, true);
  QAccessibleInterface* list = QAccessible::queryAccessibleInterface(widget(w().LST_ALL));
  ASSERT_GE(list->childCount(), 1);
  QAccessibleInterface* line = list->child(0);
  EXPECT_EQ(line->text(QAccessible::Name), QStringLiteral("10.0.0.2"));
  EXPECT_TRUE(line->state().checked) << "the connected mark is readable";
}

}  // namespace
}  // namespace korven::qt

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");  // no display needed, also for test discovery
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
