#include "platform/linux/DescriptorWatch.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace korven::linux_platform {

DescriptorWatch::DescriptorWatch() : epoll_(::epoll_create1(EPOLL_CLOEXEC)) {}

DescriptorWatch::~DescriptorWatch() {
  if (epoll_ >= 0) ::close(epoll_);
}

DescriptorWatch::Token DescriptorWatch::add(int descriptor, std::uint32_t events,
                                            Watcher& watcher) {
  if (epoll_ < 0 || descriptor < 0) return 0;
  // A token, not the descriptor, names the watcher: a descriptor closed and
  // reused while older events are being handed out reaches nobody.
  const Token token = next_++;
  epoll_event event{};
  event.events = events;
  event.data.u64 = token;
  if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, descriptor, &event) != 0) return 0;
  watchers_[token] = &watcher;
  return token;
}

bool DescriptorWatch::change(Token token, int descriptor, std::uint32_t events) {
  epoll_event event{};
  event.events = events;
  event.data.u64 = token;
  return ::epoll_ctl(epoll_, EPOLL_CTL_MOD, descriptor, &event) == 0;
}

void DescriptorWatch::remove(Token token, int descriptor) {
  if (watchers_.erase(token) == 0) return;
  ::epoll_ctl(epoll_, EPOLL_CTL_DEL, descriptor, nullptr);
}

int DescriptorWatch::dispatch() {
  if (epoll_ < 0) return 0;
  if (depth_ == buffers_.size()) buffers_.emplace_back();
  std::vector<epoll_event>& events = buffers_[depth_];
  // Room for every descriptor watched, so one call sees all that are ready.
  events.resize(std::max<std::size_t>(64, watchers_.size()));
  int ready = -1;
  do {
    ready = ::epoll_wait(epoll_, events.data(), static_cast<int>(events.size()), 0);
  } while (ready < 0 && errno == EINTR);
  ++depth_;
  for (int i = 0; i < ready; ++i) {
    // Copied out: the kernel's structure is packed, its fields unaligned.
    const Token token = events[static_cast<std::size_t>(i)].data.u64;
    const std::uint32_t flags = events[static_cast<std::size_t>(i)].events;
    // A handler run just now may have removed this watcher, or destroyed it.
    const auto found = watchers_.find(token);
    if (found != watchers_.end()) found->second->ready(flags);
  }
  --depth_;
  return std::max(ready, 0);
}

}  // namespace korven::linux_platform
