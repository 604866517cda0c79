#include "platform/system/StdFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <random>
#include <system_error>

namespace korven {
namespace fs = std::filesystem;

namespace {

bool endsWithIgnoringCase(std::string_view name, std::string_view suffix) {
  if (name.size() < suffix.size()) return false;
  return std::equal(suffix.begin(), suffix.end(), name.end() - static_cast<long>(suffix.size()),
                    [](char a, char b) {
                      return std::toupper(static_cast<unsigned char>(a)) ==
                             std::toupper(static_cast<unsigned char>(b));
                    });
}

bool isHidden(const fs::path& path) {
  const std::string name = path.filename().string();
  return !name.empty() && name.front() == '.';
}

class FdReader : public ByteReader {
 public:
  explicit FdReader(int fd) : fd_(fd) {}
  ~FdReader() override { ::close(fd_); }
  FdReader(const FdReader&) = delete;
  FdReader& operator=(const FdReader&) = delete;

  long read(char* buffer, std::size_t size) override {
    for (;;) {
      const ssize_t n = ::read(fd_, buffer, size);
      if (n >= 0) return static_cast<long>(n);
      if (errno != EINTR) return -1;
    }
  }

 private:
  int fd_;
};

bool writeAll(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t n = ::write(fd, content.data(), content.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    content.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// The permissions a file created now gets: mkstemp makes its file private,
// and another account starting the program in the same folder could not
// read it back.
mode_t newFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

std::string StdFiles::currentFolder() {
  if (!folder_.empty()) return folder_;
  std::error_code error;
  const fs::path folder = fs::current_path(error);
  return error ? std::string() : folder.string();
}

std::optional<std::vector<std::string>> StdFiles::listFiles(const std::string& folder,
                                                            std::string_view suffix) {
  std::error_code error;
  fs::directory_iterator it(folder.empty() ? fs::path(".") : fs::path(folder), error);
  if (error) return std::nullopt;
  std::vector<std::string> names;
  for (const fs::directory_iterator end; it != end; it.increment(error)) {
    if (error) return std::nullopt;
    const fs::path& path = it->path();
    std::error_code statError;
    if (isHidden(path) || !it->is_regular_file(statError)) continue;
    const std::string name = path.filename().string();
    if (endsWithIgnoringCase(name, suffix)) names.push_back(name);
  }
  if (error) return std::nullopt;
  return names;
}

bool StdFiles::isNormalFile(const std::string& path) {
  std::error_code error;
  return !isHidden(path) && fs::is_regular_file(path, error);
}

std::unique_ptr<ByteReader> StdFiles::openRead(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::make_unique<FdReader>(fd);
}

namespace {

// The folder's entry for a renamed file is only durable once the folder
// itself is synced: a power cut after the rename could bring back the old
// report, or none.
bool syncFolderOf(const std::string& path) {
  const fs::path folder = fs::path(path).parent_path();
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  return synced;
}

bool writeAndSync(int fd, std::string_view content) {
  const bool written =
      ::fchmod(fd, newFileMode()) == 0 && writeAll(fd, content) && ::fsync(fd) == 0;
  return ::close(fd) == 0 && written;
}

// A name beside `path` that no file has: "PATH.XXXXXX", as mkstemp names.
std::string freshName(const std::string& path, unsigned attempt) {
  static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device random;
  std::string name = path + ".";
  for (int i = 0; i < 6; ++i) name += kLetters[(random() + attempt) % (sizeof kLetters - 1)];
  return name;
}

// Linux: the new content is written into a file with no name, which a kill
// takes with it, and is named only for the rename that follows at once, so
// no temporary file outlives a run killed while it writes its report.
// Nothing when the system or the file system cannot do so.
std::optional<bool> replaceWithUnnamedFile(const std::string& path, std::string_view content) {
#ifdef O_TMPFILE
  const fs::path folder = fs::path(path).parent_path();
  const int fd =
      ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd < 0) return std::nullopt;
  if (::fchmod(fd, newFileMode()) != 0 || !writeAll(fd, content) || ::fsync(fd) != 0) {
    ::close(fd);
    return false;
  }
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  std::string temporary;
  bool linked = false;
  for (unsigned attempt = 0; attempt < 100 && !linked; ++attempt) {
    temporary = freshName(path, attempt);
    linked = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW) == 0;
    if (!linked && errno != EEXIST) break;
  }
  ::close(fd);
  if (!linked) return std::nullopt;  // no /proc, say: the named way below
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  return syncFolderOf(path);
#else
  (void)path;
  (void)content;
  return std::nullopt;
#endif
}

}  // namespace

bool StdFiles::replaceFile(const std::string& path, std::string_view content) {
  if (const auto replaced = replaceWithUnnamedFile(path, content)) return *replaced;
  std::string temporary = path + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return false;
  if (!writeAndSync(fd, content) || ::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  return syncFolderOf(path);
}

bool StdFiles::makeFolder(const std::string& path) {
  std::error_code error;
  fs::create_directories(path, error);
  return fs::is_directory(path, error);
}

}  // namespace korven
