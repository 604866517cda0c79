#include "update/UpdateRecord.h"

#include <algorithm>

namespace korven {

std::string TerminalRecord::outcome(int piecesTotal) const {
  if (!inRange) return "outside range";
  if (piecesSent == 0) return "not connected";
  if (piecesSent < piecesTotal || firstFailedPiece) return "cut";
  return "streamed";
}

bool TerminalRecord::clean(int piecesTotal) const {
  if (!inRange) return true;
  return outcome(piecesTotal) == "streamed" && reply != "CHKERR" && reply != "FULL";
}

bool UpdateRecord::allClean() const {
  return std::all_of(terminals.begin(), terminals.end(),
                     [this](const TerminalRecord& t) { return t.clean(piecesTotal); });
}

}  // namespace korven
