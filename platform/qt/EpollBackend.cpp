#include "platform/linux/LinuxTcpSocket.h"
#include "platform/linux/LinuxTimer.h"
#include "platform/linux/LinuxUdpSocket.h"
#include "platform/qt/Backend.h"
#include "platform/qt/EpollEventLoop.h"

namespace korven::qt {
namespace {

class EpollBackend : public Backend {
 public:
  explicit EpollBackend(const Clock& clock) : Backend(clock), clock_(clock), loop_(clock) {}
  EventLoop& eventLoop() override { return loop_; }
  std::unique_ptr<Timer> createTimer() override {
    // Its ticks are woken as early as the loop's timed waits.
    return std::make_unique<linux_platform::LinuxTimer>(loop_.descriptors(), clock_,
                                                        loop_.wakeMargin());
  }
  std::unique_ptr<UdpSocket> createUdpSocket() override {
    return std::make_unique<linux_platform::LinuxUdpSocket>(loop_.descriptors(), broadcast());
  }
  std::unique_ptr<TcpSocket> createTcpSocket() override {
    return std::make_unique<linux_platform::LinuxTcpSocket>(loop_.descriptors(),
                                                            terminalAddresses());
  }
  Micros wakeMargin() const override { return loop_.wakeMargin(); }
  void setWakeMargin(Micros margin) override { loop_.setWakeMargin(margin); }

 private:
  const Clock& clock_;
  EpollEventLoop loop_;
};

}  // namespace

std::unique_ptr<Backend> makeEpollBackend(const Clock& clock) {
  return std::make_unique<EpollBackend>(clock);
}

}  // namespace korven::qt
