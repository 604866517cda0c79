#include "shell/ConfigFile.h"

#include "platform/Text.h"

namespace korven {

std::string firstField(const std::string& text) {
  std::size_t at = text.find_first_not_of(" \t");
  if (at == std::string::npos) return {};
  if (text[at] == '"') {
    const std::size_t close = text.find_first_of("\"\r\n", at + 1);
    return text.substr(at + 1, close == std::string::npos ? std::string::npos : close - at - 1);
  }
  const std::size_t end = text.find_first_of(",\r\n", at);
  return text.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

bool ConfigFile::LIT_CFG() {
  if (!files_.isNormalFile(path())) return true;
  auto reader = files_.openRead(path());
  if (!reader) return false;
  std::string head;
  char buffer[4096];
  while (head.size() < kConfigReadLimit && head.find_first_of("\r\n") == std::string::npos) {
    const long n = reader->read(buffer, sizeof(buffer));
    if (n < 0) return false;
    if (n == 0) break;
    head.append(buffer, static_cast<std::size_t>(n));
  }
  const std::size_t lineEnd = head.find_first_of("\r\n");
  if (lineEnd != std::string::npos) head.resize(lineEnd);
  if (head.size() > kConfigReadLimit) head.resize(kConfigReadLimit);
  w_.INP_IP.setText(firstField(head));
  return true;
}

void ConfigFile::SAUVE_CFG() {
  // A read-only file or folder makes this fail: the old file stays whole
  // and the program goes on.
  files_.replaceFile(path(), trimmed(w_.INP_IP.text()) + "\r\n");
}

}  // namespace korven
