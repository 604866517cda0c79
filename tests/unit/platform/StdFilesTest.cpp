// The machine's own files, in a fresh folder under the system's temporary one.
#include "platform/system/StdFiles.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

namespace korven {
namespace {

namespace fs = std::filesystem;

class StdFilesTest : public ::testing::Test {
 protected:
  StdFilesTest() : folder(fs::temp_directory_path() / ("std-files-" + std::to_string(::getpid()))) {
    fs::create_directories(folder);
  }
  ~StdFilesTest() override { fs::remove_all(folder); }
  std::string path(const char* name) const { return (folder / name).string(); }
  void touch(const char* name) const { std::ofstream(folder / name) << "x"; }

  fs::path folder;
  StdFiles files;
};

TEST_F(StdFilesTest, AReplacedFileIsWholeAndHasTheUsualPermissionsOfANewFile) {
  const std::string cfg = path("TCP_BRD.CFG");
  for (const mode_t mask : {mode_t{022}, mode_t{077}}) {
    const mode_t before = ::umask(mask);
    ASSERT_TRUE(files.replaceFile(cfg, "10.0.0.2\r\n"));
    ::umask(before);
    struct stat info {};
    ASSERT_EQ(::stat(cfg.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask) << "umask " << std::oct << mask;
  }
  std::ifstream in(cfg, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "10.0.0.2\r\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1)
      << "no temporary file is left beside it";
}

// Runs `body` in a child process whose `folder` is a file system of 8 KiB:
// a tmpfs mounted in user and mount namespaces of the child's own, which
// needs no privilege and leaves the parent's folder alone. Returns the
// child's exit code: `body`'s result, or 99 when the folder was not mounted.
int onAFullDisk(const fs::path& folder, const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child == 0) {
    const auto write = [](const char* file, const std::string& text) {
      const int fd = ::open(file, O_WRONLY);
      const bool ok =
          fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
      if (fd >= 0) ::close(fd);
      return ok;
    };
    const std::string uid = std::to_string(::getuid());
    const std::string gid = std::to_string(::getgid());
    const bool mounted = ::unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0 &&
                         write("/proc/self/setgroups", "deny") &&
                         write("/proc/self/uid_map", "0 " + uid + " 1") &&
                         write("/proc/self/gid_map", "0 " + gid + " 1") &&
                         ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                         ::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=8k") == 0;
    ::_exit(mounted ? body() : 99);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(StdFilesTest, AReplacementThatCannotBeWrittenLeavesTheOldFileWhole) {
  const std::string cfg = path("TCP_BRD.CFG");
  const int result = onAFullDisk(folder, [&] {
    if (!files.replaceFile(cfg, "10.0.0.1\r\n")) return 1;
    if (files.replaceFile(cfg, std::string(64 * 1024, '9'))) return 2;
    std::ifstream in(cfg, std::ios::binary);
    if (std::string(std::istreambuf_iterator<char>(in), {}) != "10.0.0.1\r\n") return 3;
    if (std::distance(fs::directory_iterator(folder), fs::directory_iterator()) != 1) return 4;
    return 0;
  });
  EXPECT_EQ(result, 0) << "1: not written at all, 2: the full disk went unnoticed, "
                          "3: the old file was harmed, 4: a temporary file was left, "
                          "99: no private file system";
}

TEST_F(StdFilesTest, TheListingHoldsNormalFilesOfTheSuffixInAnyLetterCase) {
  for (const char* name : {"A.BIN", "b.bin", "C.Bin", ".HIDDEN.BIN", "NOTES.TXT", "BIN"}) {
    touch(name);
  }
  fs::create_directory(folder / "FOLDER.BIN");
  auto names = files.listFiles(folder.string(), ".BIN");
  ASSERT_TRUE(names.has_value());
  std::sort(names->begin(), names->end());
  EXPECT_EQ(*names, (std::vector<std::string>{"A.BIN", "C.Bin", "b.bin"}));
  EXPECT_FALSE(files.listFiles(path("GONE"), ".BIN").has_value()) << "a folder that is not there";
}

}  // namespace
}  // namespace korven
