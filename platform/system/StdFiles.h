#pragma once

#include <string>

#include "platform/Files.h"

namespace korven {

// Files of the real machine, through the C++ and POSIX libraries.
class StdFiles : public Files {
 public:
  std::string currentFolder() override;
  char separator() const override { return '/'; }
  std::optional<std::vector<std::string>> listFiles(const std::string& folder,
                                                    std::string_view suffix) override;
  bool isNormalFile(const std::string& path) override;
  std::unique_ptr<ByteReader> openRead(const std::string& path) override;
  bool replaceFile(const std::string& path, std::string_view content) override;
  bool makeFolder(const std::string& path) override;

  // Works in `folder` instead of the process's current folder.
  void setCurrentFolder(std::string folder) { folder_ = std::move(folder); }

 private:
  std::string folder_;
};

}  // namespace korven
