// The machine's own files, in a fresh folder under the system's temporary one.
#include "platform/system/StdFiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

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
