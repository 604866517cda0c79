// Reads a large image of zeros with the production file access and reports
// how long it takes and how often the window would get its pending events.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "image/ImageReader.h"
#include "platform/system/StdFiles.h"

namespace {

using Clock = std::chrono::steady_clock;

// Counts the pauses and the longest stretch without one.
class CountingLoop : public korven::EventLoop {
 public:
  void processEvents() override {
    const auto now = Clock::now();
    longest = std::max(longest, now - last);
    last = now;
    ++pauses;
  }
  void processEventsFor(korven::Micros) override {}
  void freeze(korven::Micros) override {}
  bool waitUntil(const std::function<bool()>& done, korven::Micros) override { return done(); }
  Clock::time_point last = Clock::now();
  Clock::duration longest{};
  long pauses = 0;
};

}  // namespace

int main(int argc, char** argv) {
  const long megabytes = argc > 1 ? std::atol(argv[1]) : 200;
  char folder[] = "/tmp/korven-image-bench-XXXXXX";
  if (mkdtemp(folder) == nullptr) return 1;
  const std::string path = std::string(folder) + "/ZEROS.BIN";
  const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
  const std::string zeros(1 << 20, '\0');
  for (long i = 0; i < megabytes; ++i) {
    if (::write(fd, zeros.data(), zeros.size()) != static_cast<ssize_t>(zeros.size())) return 1;
  }
  if (::write(fd, "\x42", 1) != 1) return 1;
  ::close(fd);

  korven::StdFiles files;
  CountingLoop loop;
  const auto start = Clock::now();
  loop.last = start;
  const korven::ImageData data = korven::readImageFile(files, path, loop);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf(
      "image read: %ld MiB of zeros then 1 byte: %.3f s, %ld event pauses, "
      "longest stretch without one %.2f ms, data %zu byte(s)\n",
      megabytes, seconds, loop.pauses,
      std::chrono::duration<double, std::milli>(loop.longest).count(), data.bytes.size());
  ::unlink(path.c_str());
  ::rmdir(folder);
  return data.failure || data.bytes != "\x42" ? 1 : 0;
}
