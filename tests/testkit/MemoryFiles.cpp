#include "tests/testkit/MemoryFiles.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace korven::testkit {
namespace {

class MemoryReader : public ByteReader {
 public:
  explicit MemoryReader(const MemoryFiles::Entry& entry) : entry_(entry) {}

  long read(char* buffer, std::size_t size) override {
    const std::uint64_t total = entry_.leadingZeros + entry_.content.size();
    if (entry_.failReadAfter >= 0 && position_ >= static_cast<std::uint64_t>(entry_.failReadAfter))
      return -1;
    std::size_t n = 0;
    while (n < size && position_ < total) {
      if (position_ < entry_.leadingZeros) {
        const auto run = std::min<std::uint64_t>(size - n, entry_.leadingZeros - position_);
        std::memset(buffer + n, 0, run);
        n += run;
        position_ += run;
      } else {
        const auto offset = position_ - entry_.leadingZeros;
        const auto run = std::min<std::uint64_t>(size - n, entry_.content.size() - offset);
        std::memcpy(buffer + n, entry_.content.data() + offset, run);
        n += run;
        position_ += run;
      }
    }
    return static_cast<long>(n);
  }

 private:
  const MemoryFiles::Entry& entry_;
  std::uint64_t position_ = 0;
};

bool endsWithIgnoringCase(const std::string& name, std::string_view suffix) {
  if (name.size() < suffix.size()) return false;
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    const auto a = static_cast<unsigned char>(name[name.size() - suffix.size() + i]);
    if (std::toupper(a) != std::toupper(static_cast<unsigned char>(suffix[i]))) return false;
  }
  return true;
}

}  // namespace

MemoryFiles::Entry& MemoryFiles::add(const std::string& name, std::string content) {
  if (Entry* existing = find(name)) {
    *existing = Entry{};
    existing->content = std::move(content);
    return *existing;
  }
  entries_.emplace_back(name, Entry{});
  entries_.back().second.content = std::move(content);
  return entries_.back().second;
}

void MemoryFiles::remove(const std::string& name) {
  entries_.remove_if([&](const auto& e) { return e.first == name; });
}

MemoryFiles::Entry* MemoryFiles::find(const std::string& name) {
  for (auto& [entryName, entry] : entries_) {
    if (entryName == name) return &entry;
  }
  return nullptr;
}

MemoryFiles::Entry* MemoryFiles::byPath(const std::string& path) {
  const std::string prefix = folder == "/" ? "//" : folder + "/";
  if (path.rfind(prefix, 0) != 0) return nullptr;
  return find(path.substr(prefix.size()));
}

std::optional<std::vector<std::string>> MemoryFiles::listFiles(const std::string& folderPath,
                                                               std::string_view suffix) {
  // The working folder is named with its trailing separator too.
  const bool ours =
      folderPath == folder || folderPath == folder + "/" || (folder == "/" && folderPath == "//");
  if (!folderListable || !ours) return std::nullopt;
  std::vector<std::string> names;
  for (const auto& [name, entry] : entries_) {
    if (!entry.folder && name.front() != '.' && endsWithIgnoringCase(name, suffix))
      names.push_back(name);
  }
  return names;
}

bool MemoryFiles::isNormalFile(const std::string& path) {
  const Entry* entry = byPath(path);
  return entry != nullptr && !entry->folder && path.substr(folder.size() + 1).front() != '.';
}

std::unique_ptr<ByteReader> MemoryFiles::openRead(const std::string& path) {
  const Entry* entry = byPath(path);
  if (entry == nullptr || entry->cannotOpen) return nullptr;
  if (entry->folder) {
    Entry failing;
    failing.failReadAfter = 0;
    static const Entry folderRead = failing;
    return std::make_unique<MemoryReader>(folderRead);
  }
  return std::make_unique<MemoryReader>(*entry);
}

bool MemoryFiles::replaceFile(const std::string& path, std::string_view content) {
  ++replaceCalls;
  const std::string prefix = folder + "/";
  if (path.rfind(prefix, 0) != 0) return false;
  add(path.substr(prefix.size()), std::string(content));
  return true;
}

bool MemoryFiles::makeFolder(const std::string& path) {
  const std::string prefix = folder + "/";
  if (path.rfind(prefix, 0) != 0) return false;
  Entry* existing = byPath(path);
  if (existing != nullptr) return existing->folder;
  add(path.substr(prefix.size())).folder = true;
  return true;
}

}  // namespace korven::testkit
