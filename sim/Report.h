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

// Writes the report beside `path` and renames it over, so a reader never
// sees half a report; false with one line in error when it cannot.
bool writeReportFile(const std::string& path, const std::string& text, std::string& error);

// A JSON string literal, quotes included; bytes outside printable ASCII are
// written as \u00XX so the report is plain ASCII whatever a peer sent.
std::string jsonString(std::string_view text);

}  // namespace korven::sim
