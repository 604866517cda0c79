#pragma once

#include <string>
#include <vector>

#include "update/UpdateRecord.h"

namespace korven {

// The report of an update as CSV: "key,value" lines for the update, a blank
// line, then one line per terminal under the header
// terminal,address,in_range,connected,pieces_sent,pieces_total,first_failed_piece,reply,outcome
std::string reportCsv(const UpdateRecord& record);
// The same content as one JSON object.
std::string reportJson(const UpdateRecord& record);
// "2026-12-07_10-00-00_IMAGE.BIN.csv": when the update started and its image.
std::string reportFileName(const UpdateRecord& record);
// A JSON string, quotes included; bytes outside printable ASCII as \u00XX,
// so the output is plain ASCII whatever a terminal sent.
std::string jsonString(const std::string& text);
// "2026-12-07 10:00:00"
std::string formatTime(const LocalTime& time);

// The addresses of a report's terminals whose outcome was not clean: in the
// range and not streamed, or replying a checksum error or a full memory.
// Nothing when the text is no report.
std::vector<std::string> terminalsToRetry(const std::string& csv);

}  // namespace korven
