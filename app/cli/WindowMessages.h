#pragma once

#include <string>

namespace korven::cli {

// A message box of the window as korven-cli says it: what is wrong, the
// window's own text quoted as such, and what to do ("the update was
// refused: the terminal's connection is not up (the window says "ERROR:
// Terminal not ready !"); check ..."). The start-up notice is not one of
// these: it is the window's, shown only with --verbose.
std::string explainWindowMessage(const std::string& text);

}  // namespace korven::cli
