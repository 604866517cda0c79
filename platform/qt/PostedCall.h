#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <functional>
#include <utility>

namespace korven::qt {

// A function run by the event loop of the thread that made this object,
// once per post(); post() may be called from any thread. Calls still
// queued when the object goes are dropped with it.
class PostedCall : public QObject {
 public:
  explicit PostedCall(std::function<void()> run) : run_(std::move(run)) {}

  void post() { QCoreApplication::postEvent(this, new QEvent(QEvent::User)); }

 protected:
  bool event(QEvent* event) override {
    if (event->type() != QEvent::User) return QObject::event(event);
    run_();
    return true;
  }

 private:
  std::function<void()> run_;
};

}  // namespace korven::qt
