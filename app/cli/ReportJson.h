#pragma once

#include <string>
#include <vector>

#include "update/UpdateRecord.h"

namespace korven::cli {

// The report as one JSON object (report_version 2): the update's facts once,
// then the terminals; `reportFile` is where its CSV went (empty: nowhere).
std::string reportJson(const UpdateRecord& record, const std::string& reportFile);
// {"terminals":[{"terminal":0,"address":"..."}, ...]}
std::string discoveredJson(const std::vector<std::string>& addresses);

}  // namespace korven::cli
