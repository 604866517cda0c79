#include "update/UpdateRecord.h"

#include <algorithm>

namespace korven {

std::string UpdateRecord::outcome(const TerminalRecord& t) const {
  if (!t.inRange) return "outside range";
  if (t.fixedOutcome) return *t.fixedOutcome;
  if (!finished) return "interrupted";
  if (t.piecesSent == 0) return "not connected";
  if (t.piecesSent < piecesTotal || t.firstFailedPiece) return "cut";
  return "streamed";
}

bool UpdateRecord::clean(const TerminalRecord& t) const {
  if (!t.inRange) return true;
  return outcome(t) == "streamed" && t.reply != "CHKERR" && t.reply != "FULL";
}

bool UpdateRecord::allClean() const {
  return std::all_of(terminals.begin(), terminals.end(),
                     [this](const TerminalRecord& t) { return clean(t); });
}

}  // namespace korven
