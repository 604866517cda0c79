#pragma once

#include <map>
#include <string>

#include "platform/History.h"
#include "update/UpdateRecord.h"

namespace korven {

// Whether a terminal's latest record says it runs the image of this digest:
// it was streamed that image and said NEW or TERM of it (or was found
// already running it), or said nothing when silence is allowed. Anything
// else (interrupted, cut, held back, not connected, CHKERR, FULL, another
// image, a report too old to name a digest) is not current.
bool isCurrent(const HistoryEntry& latest, const std::string& sha256, bool requireVerdict);

// The terminals of the history whose latest record is current for the
// image, each with that record's verdict (yes, or unconfirmed).
using CurrentTerminals = std::map<std::string, Clean>;
CurrentTerminals currentTerminals(History& history, const std::string& sha256, bool requireVerdict);

}  // namespace korven
