#include "platform/qt/DatagramReader.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace korven::qt {
namespace {

// The queue's bound, so that a flood of large datagrams cannot take the
// machine's memory; thousands of replies take a few MiB.
constexpr std::size_t kMaxQueuedBytes = 64u << 20;
// What a queued datagram costs beside its bytes.
constexpr std::size_t kOverhead = 64;

}  // namespace

DatagramReader::DatagramReader(int descriptor, std::function<void()> queued)
    : descriptor_(descriptor), queued_(std::move(queued)) {
  if (::pipe2(wake_, O_CLOEXEC) != 0) wake_[0] = wake_[1] = -1;
  thread_ = std::thread([this] { run(); });
}

DatagramReader::~DatagramReader() {
  stop_ = true;
  const char wake = 0;
  // The reader sleeps in poll() until this byte comes.
  while (wake_[1] >= 0 && ::write(wake_[1], &wake, 1) < 0 && errno == EINTR) {
  }
  thread_.join();
  for (int fd : wake_) {
    if (fd >= 0) ::close(fd);
  }
}

bool DatagramReader::take(std::string& datagram) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (queue_.empty()) {
    noticePending_ = false;
    return false;
  }
  datagram = std::move(queue_.front());
  queue_.pop_front();
  queuedBytes_ -= datagram.size() + kOverhead;
  return true;
}

void DatagramReader::push(std::deque<std::string>& taken) {
  bool notify = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::string& datagram : taken) {
      // Past the bound the datagram is dropped, as the kernel would.
      if (queuedBytes_ + datagram.size() + kOverhead > kMaxQueuedBytes) continue;
      queuedBytes_ += datagram.size() + kOverhead;
      queue_.push_back(std::move(datagram));
    }
    notify = !queue_.empty() && !noticePending_;
    noticePending_ = noticePending_ || notify;
  }
  taken.clear();
  if (notify) queued_();
}

void DatagramReader::run() {
  std::vector<char> buffer(65536);  // the largest UDP datagram fits whole
  std::deque<std::string> taken;
  // Without the pipe (out of descriptors) the flag is looked at every 50 ms.
  const bool piped = wake_[0] >= 0;
  while (!stop_) {
    pollfd watched[2] = {{descriptor_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (::poll(watched, piped ? 2 : 1, piped ? -1 : 50) <= 0) continue;
    if ((watched[0].revents & POLLNVAL) != 0) return;
    // Everything waiting, then one hand-over: the lock is taken once per
    // batch. An error a read reports (POLLERR) is cleared by that read.
    for (;;) {
      const ssize_t n = ::recv(descriptor_, buffer.data(), buffer.size(), MSG_DONTWAIT);
      if (n < 0) {
        if (errno == EINTR) continue;
        break;
      }
      taken.emplace_back(buffer.data(), static_cast<std::size_t>(n));
      if (taken.size() == 256) push(taken);
    }
    push(taken);
  }
}

}  // namespace korven::qt
