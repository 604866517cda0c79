#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "platform/Files.h"

namespace korven::testkit {

// A file system in memory with one working folder, "/work" by default.
// Entries keep the order in which they were added: that is the folder's
// own listing order.
class MemoryFiles : public Files {
 public:
  struct Entry {
    std::string content;
    std::uint64_t leadingZeros = 0;  // zero bytes before `content`, not stored
    bool folder = false;
    bool cannotOpen = false;
    long failReadAfter = -1;  // a read error once this many bytes were read
  };

  std::string folder = "/work";
  bool folderListable = true;
  int replaceCalls = 0;

  // Adds or replaces a file of the working folder.
  Entry& add(const std::string& name, std::string content = {});
  void remove(const std::string& name);
  Entry* find(const std::string& name);
  std::string pathOf(const std::string& name) const { return folder + "/" + name; }

  std::string currentFolder() override { return folder; }
  char separator() const override { return '/'; }
  std::optional<std::vector<std::string>> listFiles(const std::string& folderPath,
                                                    std::string_view suffix) override;
  bool isNormalFile(const std::string& path) override;
  std::unique_ptr<ByteReader> openRead(const std::string& path) override;
  bool replaceFile(const std::string& path, std::string_view content) override;
  bool makeFolder(const std::string& path) override;

 private:
  Entry* byPath(const std::string& path);
  // A list, so that open readers keep their entry while others are added.
  std::list<std::pair<std::string, Entry>> entries_;
};

}  // namespace korven::testkit
