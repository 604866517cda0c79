#pragma once

#include <optional>
#include <string>
#include <vector>

namespace korven::cli {

// The records of a CSV text: quoted cells may hold commas, quotes and line
// breaks; the ' that guards a cell against being read as a formula is taken
// off again.
std::vector<std::vector<std::string>> csvRecords(const std::string& text);

// The addresses of a report's terminals whose outcome was not clean, in the
// report's order; nothing when the text is no report. Reads the one-table
// report and the earlier form (key,value lines, a blank line, the table).
std::optional<std::vector<std::string>> terminalsToRetry(const std::string& csv);

}  // namespace korven::cli
