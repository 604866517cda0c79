#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <utility>
#include <vector>

#include "platform/qt/PostedCall.h"

class QListWidget;

namespace korven::qt {

// Moves the current row of list widgets to their models' once per turn of
// the event loop instead of at every change. Selecting a row makes a list
// lay out all its rows again when rows were added since its last layout,
// so listing thousands of terminals, each added and made current in turn,
// cost a layout of the whole list per terminal; deferred, the rows added
// within one turn share one layout. Operator input is never handled
// against a stale row: every input event brings the lists up to date first.
class CurrentRowSync : public QObject {
 public:
  // `apply` moves one list's current row to its model's.
  explicit CurrentRowSync(std::function<void(QListWidget*)> apply);
  ~CurrentRowSync() override;
  CurrentRowSync(const CurrentRowSync&) = delete;
  CurrentRowSync& operator=(const CurrentRowSync&) = delete;

  // The list's model may have moved its current row: apply it soon.
  void mark(QListWidget* list);
  // Applies every marked list now.
  void flush();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::function<void(QListWidget*)> apply_;
  std::vector<QPointer<QListWidget>> marked_;
  bool posted_ = false;
  PostedCall flushLater_{[this] { flush(); }};
};

}  // namespace korven::qt
