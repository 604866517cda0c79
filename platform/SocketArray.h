#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/Sockets.h"

namespace korven {

// A control array of TCP sockets: elements are created and destroyed by
// index, and their events carry the index of the element they came from.
class TcpSocketArray {
 public:
  using Factory = std::function<std::unique_ptr<TcpSocket>()>;
  explicit TcpSocketArray(Factory factory) : factory_(std::move(factory)) {}

  // The number of elements that exist.
  int count() const;
  // Null when element i does not exist.
  TcpSocket* element(int i) const;
  // False when element i exists already or i is out of range.
  bool create(int i);
  // False when element i does not exist.
  bool destroy(int i);

  Event<int> onConnect;
  Event<int, std::size_t> onDataArrival;

 private:
  Factory factory_;
  std::vector<std::unique_ptr<TcpSocket>> elements_;
};

}  // namespace korven
