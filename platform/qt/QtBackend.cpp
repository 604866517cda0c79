#include "platform/qt/Backend.h"
#include "platform/qt/QtEventLoop.h"
#include "platform/qt/QtTcpSocket.h"
#include "platform/qt/QtTimer.h"
#include "platform/qt/QtUdpSocket.h"

namespace korven::qt {
namespace {

class QtBackend : public Backend {
 public:
  explicit QtBackend(const Clock& clock) : Backend(clock), loop_(clock) {}
  EventLoop& eventLoop() override { return loop_; }
  std::unique_ptr<Timer> createTimer() override { return std::make_unique<QtTimer>(); }
  std::unique_ptr<UdpSocket> createUdpSocket() override {
    return std::make_unique<QtUdpSocket>(broadcast());
  }
  std::unique_ptr<TcpSocket> createTcpSocket() override {
    return std::make_unique<QtTcpSocket>(terminalAddresses());
  }

 private:
  QtEventLoop loop_;
};

}  // namespace

std::unique_ptr<Backend> makeQtBackend(const Clock& clock) {
  return std::make_unique<QtBackend>(clock);
}

}  // namespace korven::qt
