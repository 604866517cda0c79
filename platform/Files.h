#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korven {

// Sequential byte reads from an open file.
class ByteReader {
 public:
  virtual ~ByteReader() = default;
  // Reads up to `size` bytes; returns how many (0 at the end), or -1 on a read error.
  virtual long read(char* buffer, std::size_t size) = 0;
};

class Files {
 public:
  virtual ~Files() = default;
  // The process's current folder, without a trailing separator unless it is the root.
  virtual std::string currentFolder() = 0;
  // The platform's path separator.
  virtual char separator() const = 0;
  // Names of the normal files (not folders, not hidden) in `folder` whose
  // names end in `suffix`, letter case ignored, in the folder's own order;
  // nullopt when the folder cannot be listed.
  virtual std::optional<std::vector<std::string>> listFiles(const std::string& folder,
                                                            std::string_view suffix) = 0;
  // True when `path` names a normal file (read-only included, not hidden).
  virtual bool isNormalFile(const std::string& path) = 0;
  // Null when the file cannot be opened for reading.
  virtual std::unique_ptr<ByteReader> openRead(const std::string& path) = 0;
  // Replaces the file's content as a whole: a new file is written beside it
  // and renamed over it, so the old content stays whole on any failure.
  virtual bool replaceFile(const std::string& path, std::string_view content) = 0;
  // Makes the folder unless it is there; false when it is not there after.
  virtual bool makeFolder(const std::string& path) = 0;
};

}  // namespace korven
