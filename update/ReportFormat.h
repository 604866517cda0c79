#pragma once

#include <string>
#include <string_view>

#include "update/UpdateRecord.h"

namespace korven {

// The report's columns, in order. Columns are only ever appended, so a
// script that reads them by position keeps working.
inline constexpr const char* kReportColumns =
    "terminal,address,in_range,connected,pieces_sent,pieces_total,first_failed_piece,reply,"
    "outcome,reply_before,image,image_bytes,blocks,checksum,target,range,block_pace_ms,go_boot,"
    "started,ended,version,clean,discovery_reply,wave,waves,stopped_after_wave,image_sha256,"
    "wave_sizes,max_failed,require_verdict,held_reason,attempts";

// The report as one CSV table: the header, then a row per terminal with the
// update's facts repeated on every row, so a spreadsheet filters and sorts it
// as it stands.
std::string reportCsv(const UpdateRecord& record);
// One CSV cell: quoted when it holds a comma, a quote or a line break, and
// led by ' when a spreadsheet would take it for a formula (or when it begins
// with ' itself, so that a reader drops exactly one).
std::string csvCell(std::string_view text);
// "2026-12-07_10-00-00_IMAGE.BIN.csv": when the update started and its image.
std::string reportFileName(const UpdateRecord& record);
// "2026-12-07 10:00:00"
std::string formatTime(const LocalTime& time);
// The range as used ("0-4"); empty for a single terminal, or a run that
// listed none.
std::string rangeText(const UpdateRecord& record);

}  // namespace korven
