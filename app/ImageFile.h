#pragma once

#include <QString>

#include <string>

namespace korven::simproc {

// An image of `blocks` blocks behind 16 leading zero bytes, as images come;
// its last block holds 41 bytes. `seed` varies the data.
std::string imageOf(int blocks, int seed);

// Writes the bytes as the whole file; false when that fails.
bool writeFile(const QString& path, const std::string& bytes);

}  // namespace korven::simproc
