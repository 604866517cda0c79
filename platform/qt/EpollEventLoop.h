#pragma once

#include <QSocketNotifier>

#include <memory>

#include "platform/linux/DescriptorWatch.h"
#include "platform/linux/TimerDescriptor.h"
#include "platform/qt/QtEventLoop.h"

namespace korven::qt {

// Qt's loop with the program's descriptor set under it: Qt watches the set
// as one descriptor, and every processing point hands out whatever is
// ready in the set, so a connection's close is never left for a later point.
// Frozen waits and the operator's waits are Qt's loop's own.
class EpollEventLoop : public QtEventLoop, private linux_platform::Watcher {
 public:
  explicit EpollEventLoop(const Clock& clock);
  ~EpollEventLoop() override;
  EpollEventLoop(const EpollEventLoop&) = delete;
  EpollEventLoop& operator=(const EpollEventLoop&) = delete;

  void processEvents() override;
  void processEventsFor(Micros duration) override;

  linux_platform::DescriptorWatch& descriptors() { return descriptors_; }
  // How long before a timed wait's end the loop is woken, to spend the rest
  // on processing points. None: measured with the batch benchmark, a margin
  // of the system's wake-up latency (up to a millisecond on a busy machine)
  // kept a core busy for a third of an update of a thousand terminals and
  // made no pause more punctual. The benchmark sets one to measure it again.
  const Micros& wakeMargin() const { return margin_; }
  void setWakeMargin(Micros margin) { margin_ = margin; }

 private:
  void ready(std::uint32_t events) override;  // the wake timer expired

  linux_platform::DescriptorWatch descriptors_;
  std::unique_ptr<QSocketNotifier> notifier_;
  linux_platform::TimerDescriptor wake_;
  linux_platform::DescriptorWatch::Token wakeToken_ = 0;
  Micros margin_{0};
  Micros lastQtPass_{Micros::min()};
};

}  // namespace korven::qt
