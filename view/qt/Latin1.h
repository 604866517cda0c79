#pragma once

#include <QString>
#include <string>

namespace korven::qt {

// Model texts are single-byte strings: each byte is one Latin-1 character.
inline QString toQString(const std::string& bytes) {
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

inline std::string fromQString(const QString& text) {
  const QByteArray bytes = text.toLatin1();
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace korven::qt
