#pragma once

#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace korven::linux_platform {

// Takes every datagram off a bound socket as soon as it is readable, on a
// thread of its own, into a queue that the window thread empties. The
// window thread handles replies one by one and may be busy for a while;
// meanwhile the kernel's buffer holds a few thousand datagrams at most and
// drops the rest, so of a switch full of terminals answering at once only
// a part would be found. Only this thread reads the socket.
class DatagramReader {
 public:
  // `queued` runs on the reader thread when datagrams wait and no notice is
  // pending: it must have the window thread call take().
  DatagramReader(int descriptor, std::function<void()> queued);
  // Stops the thread; call before the socket is closed.
  ~DatagramReader();
  // Starts the thread; false when the system refused it (no descriptor to
  // wake it by, or no thread).
  bool start();
  DatagramReader(const DatagramReader&) = delete;
  DatagramReader& operator=(const DatagramReader&) = delete;

  // The next datagram into `datagram`; false when none waits, and then the
  // next datagram brings a new notice.
  bool take(std::string& datagram);

 private:
  void run();
  void push(std::deque<std::string>& taken);

  const int descriptor_;
  std::atomic<bool> stop_{false};
  int wake_ = -1;  // an event descriptor: a count in it wakes the thread to stop
  std::function<void()> queued_;
  std::mutex mutex_;
  std::deque<std::string> queue_;
  std::size_t queuedBytes_ = 0;
  bool noticePending_ = false;
  std::thread thread_;
};

}  // namespace korven::linux_platform
