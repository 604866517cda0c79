#pragma once

#include <QWidget>
#include <map>
#include <memory>

#include "platform/form/Form.h"

class QListWidget;

namespace korven::qt {

class InputFilter;
class CurrentRowSync;

// Renders a form model as Qt widgets and turns widget input into the
// model's events. It holds no logic: every rule lives in the model and the
// handlers the subsystems registered on it.
class FormView {
 public:
  explicit FormView(Form& form);
  ~FormView();
  FormView(const FormView&) = delete;
  FormView& operator=(const FormView&) = delete;

  QWidget* window() const { return window_; }
  QWidget* widgetOf(const Control& control) const;

  // True while the view copies the model into a widget: widget signals
  // raised by that copy are not operator input.
  bool syncing() const { return syncing_ > 0; }

 private:
  QWidget* create(Control& control);
  void apply(Control& control, const ModelChange& change);
  void applyAll(Control& control);
  void applyColors(Control& control);
  void applyText(Control& control);
  void applySpokenName(const Control& control, QWidget* widget, const QString& text);
  void applyList(Control& control, const ModelChange& change);
  void applyCurrentRow(QListWidget* list);

  Form& form_;
  QWidget* window_;
  std::unique_ptr<InputFilter> input_;
  std::unique_ptr<CurrentRowSync> currentRows_;
  std::map<const Control*, QWidget*> widgets_;
  int syncing_ = 0;
  friend class InputFilter;
};

}  // namespace korven::qt
