#include "platform/qt/QtPlatform.h"

#include "platform/qt/QtTcpSocket.h"
#include "platform/qt/QtTimer.h"
#include "platform/qt/QtUdpSocket.h"

namespace korven::qt {

std::unique_ptr<Timer> QtPlatform::createTimer() {
  return std::make_unique<QtTimer>(loop_.descriptors());
}

std::unique_ptr<UdpSocket> QtPlatform::createUdpSocket() {
  return std::make_unique<QtUdpSocket>();
}

std::unique_ptr<TcpSocket> QtPlatform::createTcpSocket() {
  return std::make_unique<QtTcpSocket>(loop_.descriptors());
}

}  // namespace korven::qt
