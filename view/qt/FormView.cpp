#include "view/qt/FormView.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmapCache>
#include <QPushButton>
#include <QScrollBar>
#include <QTextDocument>

#include "platform/form/Controls.h"
#include "view/qt/CurrentRowSync.h"
#include "view/qt/FormWidgets.h"
#include "view/qt/InputFilter.h"
#include "view/qt/Latin1.h"

namespace korven::qt {
namespace {

constexpr int kTwipsPerPixel = 15;

int pixels(int twips) {
  return twips / kTwipsPerPixel;
}

QRect rectOf(const Place& place) {
  return QRect(pixels(place.left), pixels(place.top), pixels(place.width), pixels(place.height));
}

QColor colorOf(Color color) {
  if (color.buttonFace) return QApplication::palette().color(QPalette::Button);
  return QColor(color.red, color.green, color.blue);
}

Qt::Alignment alignmentOf(Alignment alignment) {
  switch (alignment) {
    case Alignment::Right:
      return Qt::AlignRight | Qt::AlignVCenter;
    case Alignment::Center:
      return Qt::AlignHCenter | Qt::AlignVCenter;
    case Alignment::Left:
      break;
  }
  return Qt::AlignLeft | Qt::AlignVCenter;
}

// Tooltips may be taken for markup by Qt; file names and addresses must show as written.
QString plainToolTip(const std::string& tip) {
  QString text = toQString(tip);
  if (text.isEmpty()) return text;
  return QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() +
         QStringLiteral("</p>");
}

}  // namespace

FormView::FormView(Form& form)
    : form_(form),
      input_(std::make_unique<InputFilter>(*this)),
      currentRows_(
          std::make_unique<CurrentRowSync>([this](QListWidget* list) { applyCurrentRow(list); })) {
  // The style keeps drawings of controls per palette, and every change of a
  // box's colour makes a new palette: over a day of connections the cache
  // would fill its 10 MB. A tenth of that holds what one window shows.
  QPixmapCache::setCacheLimit(1024);
  window_ = new WindowWidget(form);
  widgets_[&form] = window_;
  window_->setWindowTitle(toQString(form.text()));
  const QRect area = rectOf(form.place);
  window_->setFixedSize(area.size());
  window_->move(area.topLeft());
  window_->setAutoFillBackground(true);
  for (Control* control : form.controls()) {
    QWidget* widget = create(*control);
    widgets_[control] = widget;
    control->setObserver([this, control](const ModelChange& change) { apply(*control, change); });
  }
  for (Control* control : form.controls()) applyAll(*control);
  form.setObserver([this](const ModelChange& change) { apply(form_, change); });
  applyAll(form);
}

FormView::~FormView() {
  for (Control* control : form_.controls()) control->setObserver(nullptr);
  form_.setObserver(nullptr);
  delete window_;
}

QWidget* FormView::widgetOf(const Control& control) const {
  const auto found = widgets_.find(&control);
  return found == widgets_.end() ? nullptr : found->second;
}

QWidget* FormView::create(Control& control) {
  QWidget* parent = control.container != nullptr ? widgetOf(*control.container) : window_;
  QWidget* widget = nullptr;
  switch (control.kind()) {
    case ControlKind::Label: {
      auto* label = new QLabel(parent);
      label->setTextFormat(Qt::PlainText);  // text from the network is never markup
      label->setAlignment(alignmentOf(control.alignment));
      if (control.border) label->setFrameStyle(QFrame::Box | QFrame::Plain);
      widget = label;
      break;
    }
    case ControlKind::TextBox: {
      auto* edit = new QLineEdit(parent);
      edit->setContextMenuPolicy(Qt::NoContextMenu);
      edit->setAcceptDrops(false);  // as the classic text box: dropped text never lands
      QObject::connect(edit, &QLineEdit::textEdited, [this, &control](const QString& text) {
        if (!syncing()) static_cast<TextBox&>(control).userEdit(fromQString(text));
      });
      widget = edit;
      break;
    }
    case ControlKind::ComboBox: {
      auto* combo = new ComboEdit(parent);
      QObject::connect(combo->lineEdit(), &QLineEdit::textEdited,
                       [this, &control](const QString& text) {
                         if (!syncing())
                           static_cast<ComboBox&>(control).userEdit(fromQString(text));
                       });
      QObject::connect(combo, qOverload<int>(&QComboBox::activated), [this, &control](int i) {
        if (!syncing()) static_cast<ComboBox&>(control).userPick(i);
      });
      input_->watch(combo->lineEdit(), control);
      widget = combo;
      break;
    }
    case ControlKind::ListBox: {
      auto* list = new ListWidget(parent, syncing_);
      list->setSelectionMode(QAbstractItemView::SingleSelection);
      // Every line is one line of the same font. Without this, moving the
      // current line lays out every line again, so listing n terminals
      // costs n^2 text layouts and a discovery of a thousand stalls the
      // window for seconds.
      list->setUniformItemSizes(true);
      QObject::connect(list, &QListWidget::currentRowChanged, [this, &control](int row) {
        if (!syncing()) static_cast<ListBox&>(control).userSetListIndex(row);
      });
      input_->watch(list->viewport(), control);
      widget = list;
      break;
    }
    case ControlKind::CheckBox: {
      auto* box = new QCheckBox(parent);
      QObject::connect(box, &QCheckBox::clicked, [this, &control] {
        if (syncing()) return;
        control.userClick();
        applyAll(control);  // the model may have refused the click
      });
      widget = box;
      break;
    }
    case ControlKind::Button: {
      auto* button = new QPushButton(parent);
      QObject::connect(button, &QPushButton::clicked, [this, &control] {
        if (!syncing()) control.userClick();
      });
      widget = button;
      break;
    }
    case ControlKind::ScrollBar: {
      auto* bar = new QScrollBar(Qt::Horizontal, parent);
      QObject::connect(bar, &QScrollBar::valueChanged, [this, &control](int value) {
        if (!syncing()) static_cast<ScrollBar&>(control).userSetValue(value);
      });
      widget = bar;
      break;
    }
    case ControlKind::Shape:
    case ControlKind::Frame: {
      auto* frame = new QFrame(parent);
      if (control.kind() == ControlKind::Frame) frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
      widget = frame;
      break;
    }
    case ControlKind::Form:
      return window_;
  }
  widget->setObjectName(
      toQString(control.name()) +
      (control.arrayIndex() >= 0 ? QStringLiteral("(%1)").arg(control.arrayIndex()) : QString()));
  widget->setGeometry(rectOf(control.place));
  QFont font = QApplication::font();
  font.setPointSizeF(control.font.points);
  font.setBold(control.font.bold);
  widget->setFont(font);
  if (control.kind() != ControlKind::Label && control.kind() != ControlKind::Shape &&
      control.kind() != ControlKind::Frame) {
    widget->setFocusPolicy(Qt::StrongFocus);
  }
  input_->watch(widget, control);
  return widget;
}

void FormView::applyAll(Control& control) {
  for (Aspect aspect : {Aspect::Text, Aspect::Enabled, Aspect::Visible, Aspect::BackColor,
                        Aspect::ToolTip, Aspect::ListReset, Aspect::Range, Aspect::Value}) {
    apply(control, ModelChange{aspect, -1});
  }
}

void FormView::apply(Control& control, const ModelChange& change) {
  QWidget* widget = widgetOf(control);
  if (widget == nullptr) return;
  ++syncing_;
  switch (change.aspect) {
    case Aspect::Text:
      applyText(control);
      break;
    case Aspect::Enabled:
      widget->setEnabled(control.enabled());
      applyColors(control);
      break;
    case Aspect::Visible:
      widget->setVisible(control.visible());
      break;
    case Aspect::BackColor:
    case Aspect::ForeColor:
      applyColors(control);
      break;
    case Aspect::ToolTip:
      widget->setToolTip(plainToolTip(control.toolTip()));
      widget->setAccessibleDescription(toQString(control.toolTip()));
      break;
    case Aspect::ListReset:
    case Aspect::LineInserted:
    case Aspect::LineChanged:
    case Aspect::LineMark:
    case Aspect::CurrentLine:
      applyList(control, change);
      break;
    case Aspect::Value:
      if (auto* box = qobject_cast<QCheckBox*>(widget)) {
        box->setChecked(static_cast<CheckBox&>(control).value() == 1);
      } else if (auto* bar = qobject_cast<QScrollBar*>(widget)) {
        bar->setValue(static_cast<ScrollBar&>(control).value());
      }
      break;
    case Aspect::Range:
      if (auto* bar = qobject_cast<QScrollBar*>(widget)) {
        const auto& model = static_cast<ScrollBar&>(control);
        bar->setRange(std::min(model.min(), model.max()), std::max(model.min(), model.max()));
        bar->setSingleStep(model.smallChange);
        bar->setPageStep(model.largeChange);
        bar->setValue(model.value());
      }
      break;
    case Aspect::Repaint:
      currentRows_->flush();  // painted now, so with the current row of now
      widget->repaint();
      break;
  }
  --syncing_;
}

void FormView::applyText(Control& control) {
  QWidget* widget = widgetOf(control);
  const QString text = toQString(control.text());
  applySpokenName(control, widget, text);
  if (widget == window_) {
    widget->setWindowTitle(text);
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(text);
    if (control.autoSize) label->adjustSize();
  } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
    // Leave the caret alone when the text is already there (typing).
    if (combo->lineEdit()->text() != text) combo->lineEdit()->setText(text);
  } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    if (edit->text() != text) edit->setText(text);
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    button->setText(text);
    // The platform's font may be wider than the one the layout was drawn
    // for: a check box grows to show its whole caption.
    if (qobject_cast<QCheckBox*>(widget) != nullptr) {
      const int needed = button->sizeHint().width();
      if (needed > button->width()) button->resize(needed, button->height());
    }
  }
}

void FormView::applySpokenName(const Control& control, QWidget* widget, const QString& text) {
  // Without a role, a screen reader speaks the caption. A label with a role
  // shows a value, so both are spoken; a box or list gives its value itself.
  if (control.role.empty()) return;
  QString name = toQString(control.role);
  if (control.kind() == ControlKind::Label && !text.isEmpty()) name += QStringLiteral(": ") + text;
  widget->setAccessibleName(name);
  // Readers name a combo box by its text; its edit field carries the role.
  if (auto* combo = qobject_cast<QComboBox*>(widget)) combo->lineEdit()->setAccessibleName(name);
}

void FormView::applyColors(Control& control) {
  QWidget* widget = widgetOf(control);
  if (control.kind() == ControlKind::Shape) {
    const QColor fill = colorOf(control.backColor());
    const QColor border = colorOf(control.foreColor());
    widget->setStyleSheet(QStringLiteral("QFrame { background-color: %1; border: 1px solid %2; }")
                              .arg(fill.name(), border.name()));
    return;
  }
  QPalette palette = widget == window_ ? QApplication::palette() : widget->palette();
  const QColor back = colorOf(control.backColor());
  const QColor fore = colorOf(control.foreColor());
  const bool ownColor = !control.backColor().buttonFace;
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    // A disabled window keeps its colours (the progress display must stay
    // readable); only a control that is itself disabled greys its text.
    const bool greyText = group == QPalette::Disabled && !control.enabled();
    palette.setColor(group, QPalette::Window, back);
    palette.setColor(group, QPalette::Base, ownColor ? back : palette.color(group, QPalette::Base));
    if (!greyText) {
      palette.setColor(group, QPalette::WindowText, fore);
      palette.setColor(group, QPalette::Text, fore);
    }
  }
  widget->setPalette(palette);
  // Every control paints its own background, as the classic ones do: a
  // label or check box left at the button face must not show the window's
  // red during an update.
  widget->setAutoFillBackground(true);
  if (auto* combo = qobject_cast<QComboBox*>(widget)) combo->lineEdit()->setPalette(palette);
}

void FormView::applyList(Control& control, const ModelChange& change) {
  QWidget* widget = widgetOf(control);
  if (auto* combo = qobject_cast<QComboBox*>(widget)) {
    const auto& model = static_cast<ComboBox&>(control);
    const QString text = combo->lineEdit()->text();
    if (change.aspect == Aspect::LineInserted) {
      combo->insertItem(change.index, toQString(model.item(change.index)));
    } else {
      combo->clear();
      for (const std::string& item : model.items()) combo->addItem(toQString(item));
    }
    // The list never changes the text by itself. Each step only when needed:
    // either would lay the text out again, for every terminal listed.
    if (combo->currentIndex() != -1) combo->setCurrentIndex(-1);
    if (combo->lineEdit()->text() != text) combo->lineEdit()->setText(text);
    return;
  }
  auto* list = qobject_cast<QListWidget*>(widget);
  if (list == nullptr) return;
  const auto& model = static_cast<ListBox&>(control);
  auto makeItem = [&](int i) {
    auto* item = new QListWidgetItem(toQString(model.line(i)));
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    if (model.multiSelect) item->setCheckState(model.selected(i) ? Qt::Checked : Qt::Unchecked);
    return item;
  };
  switch (change.aspect) {
    case Aspect::LineInserted:
      list->insertItem(change.index, makeItem(change.index));
      break;
    case Aspect::LineChanged:
      if (auto* item = list->item(change.index)) item->setText(toQString(model.line(change.index)));
      break;
    case Aspect::LineMark:
      if (auto* item = list->item(change.index))
        item->setCheckState(model.selected(change.index) ? Qt::Checked : Qt::Unchecked);
      break;
    case Aspect::CurrentLine:
      break;
    default:
      list->clear();
      for (int i = 0; i < model.count(); ++i) list->addItem(makeItem(i));
      break;
  }
  currentRows_->mark(list);
}

void FormView::applyCurrentRow(QListWidget* list) {
  for (const auto& [control, widget] : widgets_) {
    if (widget != list) continue;
    const int row = static_cast<const ListBox*>(control)->listIndex();
    ++syncing_;
    if (list->currentRow() != row) list->setCurrentRow(row);
    --syncing_;
  }
}

}  // namespace korven::qt
