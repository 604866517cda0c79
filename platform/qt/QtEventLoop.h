#pragma once

#include <QSocketNotifier>

#include <cstdint>
#include <memory>
#include <unordered_map>

#include "platform/EventLoop.h"
#include "platform/system/SteadyClock.h"

namespace korven::qt {

// Whatever waits on a descriptor of the watch.
class Watcher {
 public:
  virtual ~Watcher() = default;
  // `events` (epoll flags) came on the descriptor; run from the event loop.
  virtual void ready(std::uint32_t events) = 0;
};

// The program's own descriptors (every connection and every timer) in one
// epoll set, which Qt watches as a single descriptor. Qt asks the system
// about each descriptor it watches at every turn of its loop, which with a
// thousand connections costs some 200 us; one look at the set costs a
// fraction of a microsecond, however many it holds.
class DescriptorWatch {
 public:
  using Token = std::uint64_t;

  DescriptorWatch();
  ~DescriptorWatch();
  DescriptorWatch(const DescriptorWatch&) = delete;
  DescriptorWatch& operator=(const DescriptorWatch&) = delete;

  // Starts watching `descriptor` for `events` (level-triggered); 0 when it
  // cannot. The watcher must clear what it is told of, or forget the
  // descriptor, or it is told again at every turn.
  Token add(int descriptor, std::uint32_t events, Watcher& watcher);
  void change(Token token, int descriptor, std::uint32_t events);
  // Call before the descriptor is closed; nothing more is told for it.
  void remove(Token token, int descriptor);
  // Whether something waits on one of the descriptors.
  bool pending() const;

 private:
  void dispatch();

  int epoll_;
  std::unique_ptr<QSocketNotifier> notifier_;  // made with the first descriptor
  std::unordered_map<Token, Watcher*> watchers_;
  Token next_ = 1;
};

class QtEventLoop : public EventLoop {
 public:
  explicit QtEventLoop(const Clock& clock);
  ~QtEventLoop() override;
  QtEventLoop(const QtEventLoop&) = delete;
  QtEventLoop& operator=(const QtEventLoop&) = delete;

  void processEvents() override;
  void processEventsFor(Micros duration) override;
  void freeze(Micros duration) override;
  bool waitUntil(const std::function<bool()>& done, Micros limit) override;

  // Where the platform's connections and timers are watched.
  DescriptorWatch& descriptors() { return descriptors_; }

 private:
  // Wakes the loop at the end of processEventsFor.
  class Wake : public Watcher {
   public:
    void ready(std::uint32_t events) override;
    int descriptor = -1;
  };

  const Clock& clock_;
  DescriptorWatch descriptors_;
  Wake wake_;
  DescriptorWatch::Token wakeToken_ = 0;
  Micros lastPoll_{Micros::min()};
};

}  // namespace korven::qt
