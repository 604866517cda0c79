#pragma once

#include <string>
#include <vector>

#include "update/UpdateRecord.h"

namespace korven::cli {

// The report as one JSON object (report_version 3): the run's facts once,
// then the terminals; `reportFile` is where its CSV went (empty: nowhere).
std::string reportJson(const UpdateRecord& record, const std::string& reportFile);
// {"mode":"go-boot","button":"GO BOOT","terminals":[{"address":"...","sent":true}, ...]}
std::string modeJson(const std::string& mode, const std::string& button,
                     const std::vector<std::pair<std::string, bool>>& sent);
// {"terminals":[{"terminal":0,"address":"..."}, ...]}
std::string discoveredJson(const std::vector<std::string>& addresses);

}  // namespace korven::cli
