#include "view/qt/CurrentRowSync.h"

#include <QCoreApplication>
#include <QEvent>
#include <QListWidget>
#include <algorithm>

namespace korven::qt {

CurrentRowSync::CurrentRowSync(std::function<void(QListWidget*)> apply) : apply_(std::move(apply)) {
  QCoreApplication::instance()->installEventFilter(this);
}

CurrentRowSync::~CurrentRowSync() {
  QCoreApplication::instance()->removeEventFilter(this);
}

void CurrentRowSync::mark(QListWidget* list) {
  if (std::find(marked_.begin(), marked_.end(), list) == marked_.end()) marked_.emplace_back(list);
  if (posted_) return;
  posted_ = true;
  flushLater_.post();
}

void CurrentRowSync::flush() {
  posted_ = false;
  // Applying a row raises the list's signals, whose handlers may mark again.
  const std::vector<QPointer<QListWidget>> marked = std::exchange(marked_, {});
  for (const QPointer<QListWidget>& list : marked) {
    if (list) apply_(list);
  }
}

bool CurrentRowSync::eventFilter(QObject* /*watched*/, QEvent* event) {
  if (!marked_.empty() && (event->isInputEvent() || event->type() == QEvent::FocusIn)) flush();
  return false;
}

}  // namespace korven::qt
