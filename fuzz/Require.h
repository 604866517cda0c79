#pragma once

#include <cstdio>
#include <cstdlib>

namespace korven::fuzz {

// A broken property: says which on stderr and aborts, so libFuzzer keeps
// the input as a crash.
inline void require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property broken: %s\n", property);
  std::abort();
}

}  // namespace korven::fuzz
