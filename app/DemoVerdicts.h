#pragma once

#include <QJsonArray>
#include <QJsonObject>

#include <string>

// What the demos tell of the simulated terminals: the simulator's verdict
// per terminal, drawn from its full record (korven-sim --report), which
// holds every stream's pauses against the timetable besides.
namespace korven::demo {

// {"terminals": [{"address", "verdict", "streams": [{"verdict", "problems"}],
// "refused"}]}, in the record's order. A terminal's verdict is "ok" when
// every stream it took was sound, "faulty" when one was not, "no stream"
// when none came (a refusing terminal's).
QJsonObject verdictsOf(const QJsonArray& recordTerminals);

// One terminal of verdictsOf as a line: "127.0.0.2: ok, 2 streams",
// "127.0.0.4: no stream, refused 3 connections".
std::string verdictLine(const QJsonObject& terminal);

}  // namespace korven::demo
