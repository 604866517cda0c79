#include "platform/linux/DatagramReader.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>
#include <vector>

namespace korven::linux_platform {
namespace {

// The queue's bound, so that a flood of large datagrams cannot take the
// machine's memory; thousands of replies take a few MiB.
constexpr std::size_t kMaxQueuedBytes = 64u << 20;
// What a queued datagram costs beside its bytes.
constexpr std::size_t kOverhead = 64;

}  // namespace

DatagramReader::DatagramReader(int descriptor, std::function<void()> queued)
    : descriptor_(descriptor), queued_(std::move(queued)) {}

bool DatagramReader::start() {
  if (thread_.joinable()) return true;
  if (wake_ < 0) wake_ = ::eventfd(0, EFD_CLOEXEC);
  if (wake_ < 0) return false;
  try {
    thread_ = std::thread([this] { run(); });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

DatagramReader::~DatagramReader() {
  if (thread_.joinable()) {
    stop_ = true;
    // The reader sleeps in poll() until this count comes.
    const std::uint64_t one = 1;
    while (::write(wake_, &one, sizeof one) < 0 && errno == EINTR) {
    }
    thread_.join();
  }
  if (wake_ >= 0) ::close(wake_);
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
  while (!stop_) {
    pollfd watched[2] = {{descriptor_, POLLIN, 0}, {wake_, POLLIN, 0}};
    if (::poll(watched, 2, -1) <= 0) continue;
    if ((watched[0].revents & POLLNVAL) != 0) return;
    // Everything waiting, then one hand-over: the lock is taken once per
    // batch. An error a read reports (POLLERR) is cleared by that read. A
    // flood keeps the socket readable without end, so the stop is looked
    // at before each datagram: shut-down never waits for the flood.
    while (!stop_) {
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

}  // namespace korven::linux_platform
