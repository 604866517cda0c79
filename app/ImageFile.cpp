#include "app/ImageFile.h"

#include <QFile>

namespace korven::simproc {

std::string imageOf(int blocks, int seed) {
  std::string image(16, '\0');  // images begin with zeros that are never sent
  for (int i = 0; i < blocks * 64 - 23; ++i) image += static_cast<char>((i * seed + 7) % 256);
  return image;
}

bool writeFile(const QString& path, const std::string& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) &&
         file.write(bytes.data(), static_cast<qint64>(bytes.size())) ==
             static_cast<qint64>(bytes.size());
}

}  // namespace korven::simproc
