#include "platform/SocketArray.h"

#include <algorithm>

namespace korven {

namespace {
constexpr int kMaxElements = 32767;
}

int TcpSocketArray::count() const {
  return static_cast<int>(std::count_if(elements_.begin(), elements_.end(),
                                        [](const auto& e) { return e != nullptr; }));
}

TcpSocket* TcpSocketArray::element(int i) const {
  if (i < 0 || i >= static_cast<int>(elements_.size())) return nullptr;
  return elements_[static_cast<std::size_t>(i)].get();
}

bool TcpSocketArray::create(int i) {
  if (i < 0 || i >= kMaxElements || element(i) != nullptr) return false;
  if (i >= static_cast<int>(elements_.size())) elements_.resize(static_cast<std::size_t>(i) + 1);
  auto socket = factory_();
  socket->onConnect.connect([this, i] { onConnect.raise(i); });
  socket->onDataArrival.connect([this, i](std::size_t n) { onDataArrival.raise(i, n); });
  elements_[static_cast<std::size_t>(i)] = std::move(socket);
  return true;
}

bool TcpSocketArray::destroy(int i) {
  if (element(i) == nullptr) return false;
  elements_[static_cast<std::size_t>(i)].reset();
  while (!elements_.empty() && elements_.back() == nullptr) elements_.pop_back();
  return true;
}

}  // namespace korven
