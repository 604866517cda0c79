#pragma once

#include <functional>
#include <utility>
#include <vector>

namespace korven {

// A list of handlers raised in the order they were connected. Handlers may
// connect further handlers while the event is being raised; those run from
// the next raise on.
template <typename... Args>
class Event {
 public:
  using Handler = std::function<void(Args...)>;

  void connect(Handler handler) { handlers_.push_back(std::move(handler)); }

  void raise(Args... args) const {
    const std::size_t count = handlers_.size();
    for (std::size_t i = 0; i < count; ++i) handlers_[i](args...);
  }

  bool connected() const { return !handlers_.empty(); }

 private:
  std::vector<Handler> handlers_;
};

}  // namespace korven
