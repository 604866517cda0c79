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

const char* cleanText(Clean clean) {
  switch (clean) {
    case Clean::Yes:
      return "yes";
    case Clean::No:
      return "no";
    case Clean::Unconfirmed:
      break;
  }
  return "unconfirmed";
}

Clean UpdateRecord::clean(const TerminalRecord& t) const {
  if (!t.inRange) return Clean::Yes;
  if (t.fixedOutcome == kAlreadyCurrent) return t.currentVerdict;
  if (outcome(t) != "streamed" || t.reply == "CHKERR" || t.reply == "FULL") return Clean::No;
  return t.reply.empty() ? Clean::Unconfirmed : Clean::Yes;
}

bool UpdateRecord::passes(const TerminalRecord& t) const {
  const Clean c = clean(t);
  return c == Clean::Yes || (c == Clean::Unconfirmed && !requireVerdict);
}

bool UpdateRecord::allPass() const {
  return std::all_of(terminals.begin(), terminals.end(),
                     [this](const TerminalRecord& t) { return passes(t); });
}

}  // namespace korven
