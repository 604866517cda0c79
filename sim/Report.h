#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sim/Terminal.h"

namespace korven::sim {

// The record of a run as JSON, one object per terminal. Times are
// microseconds of the system's monotonic clock (CLOCK_MONOTONIC), so a test
// on the same machine can set them against its own.
std::string reportJson(const std::vector<Terminal>& terminals, TimeUs startedAt);

// A JSON string literal, quotes included; bytes outside printable ASCII are
// written as \u00XX so the report is plain ASCII whatever a peer sent.
std::string jsonString(std::string_view text);

}  // namespace korven::sim
