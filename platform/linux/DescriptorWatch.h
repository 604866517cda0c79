#pragma once

#include <sys/epoll.h>

#include <cstdint>
#include <deque>
#include <unordered_map>
#include <vector>

namespace korven::linux_platform {

// Whatever waits on a descriptor of the watch.
class Watcher {
 public:
  virtual ~Watcher() = default;
  // `events` (epoll flags) came on the descriptor; run at a processing point.
  virtual void ready(std::uint32_t events) = 0;
};

// The program's own descriptors (connections, timers, the reply notices) in
// one epoll set, which the host loop watches as a single descriptor. A host
// loop that asked the system about each of a thousand connections at every
// turn would spend some 200 us doing so; one look at the set costs a
// fraction of that, however many it holds.
class DescriptorWatch {
 public:
  using Token = std::uint64_t;

  DescriptorWatch();
  ~DescriptorWatch();
  DescriptorWatch(const DescriptorWatch&) = delete;
  DescriptorWatch& operator=(const DescriptorWatch&) = delete;

  // False when the system gave no epoll set: nothing can be watched.
  bool valid() const { return epoll_ >= 0; }
  // Readable while something waits on one of the descriptors.
  int descriptor() const { return epoll_; }

  // Starts watching `descriptor` for `events` (level-triggered); 0 when it
  // cannot. The watcher must clear what it is told of, or forget the
  // descriptor, or it is told again at every point.
  Token add(int descriptor, std::uint32_t events, Watcher& watcher);
  bool change(Token token, int descriptor, std::uint32_t events);
  // Call before the descriptor is closed; nothing more is told for it.
  void remove(Token token, int descriptor);

  // Hands every event that is ready now to its watcher, however many are
  // ready; how many there were. A handler may dispatch again inside.
  int dispatch();

 private:
  int epoll_;
  std::unordered_map<Token, Watcher*> watchers_;
  Token next_ = 1;
  // One buffer per nesting depth; a deque keeps the outer ones in place.
  std::deque<std::vector<epoll_event>> buffers_;
  std::size_t depth_ = 0;
};

}  // namespace korven::linux_platform
