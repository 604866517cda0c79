#pragma once

#include <string>

namespace korven {

// An image of `blocks` blocks (the last one holding `lastBlockBytes`)
// behind the zero bytes images begin with, which are never sent; `seed`
// varies the data, which never holds a zero where a block begins.
std::string imageOf(int blocks, int lastBlockBytes = 41, int seed = 37);

}  // namespace korven
