#pragma once

#include <string>

#include "update/UpdateRecord.h"

namespace korven::cli {

// The closing line of an update, for a person: how many terminals of the
// update ended how, and where the report is ("10 terminals: 8 streamed
// clean, 1 cut at piece 12, 1 not connected; report: reports/X.csv").
// `reportFile` empty: the report could not be written. Terminals held back
// by the night window are said to be so, with `windowEnd`.
std::string tallyLine(const UpdateRecord& record, const std::string& reportFile,
                      const std::string& windowEnd = {});

}  // namespace korven::cli
