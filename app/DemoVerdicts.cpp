#include "app/DemoVerdicts.h"

#include <QStringList>

namespace korven::demo {
namespace {

std::string counted(qsizetype n, const char* what) {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

}  // namespace

QJsonObject verdictsOf(const QJsonArray& recordTerminals) {
  QJsonArray terminals;
  for (const auto& value : recordTerminals) {
    const QJsonObject record = value.toObject();
    QJsonArray streams;
    bool faulty = false;
    for (const auto& s : record.value("streams").toArray()) {
      const QJsonObject stream = s.toObject();
      const QString verdict = stream.value("verdict").toString();
      faulty = faulty || verdict != "ok";
      streams.append(QJsonObject{{"verdict", verdict}, {"problems", stream.value("problems")}});
    }
    const QString verdict = streams.isEmpty() ? "no stream" : faulty ? "faulty" : "ok";
    terminals.append(QJsonObject{{"address", record.value("address")},
                                 {"verdict", verdict},
                                 {"streams", streams},
                                 {"refused", record.value("refused").toInt()}});
  }
  return QJsonObject{{"terminals", terminals}};
}

std::string verdictLine(const QJsonObject& terminal) {
  const QJsonArray streams = terminal.value("streams").toArray();
  std::string line = terminal.value("address").toString().toStdString() + ": " +
                     terminal.value("verdict").toString().toStdString();
  if (!streams.isEmpty()) line += ", " + counted(streams.size(), "stream");
  // Only a faulty terminal's streams are told one by one, each with its faults.
  if (terminal.value("verdict").toString() == "faulty") {
    QStringList each;
    for (const auto& s : streams) {
      const QJsonObject stream = s.toObject();
      QStringList problems;
      for (const auto& p : stream.value("problems").toArray()) problems << p.toString();
      each << stream.value("verdict").toString() +
                  (problems.isEmpty() ? "" : " (" + problems.join("; ") + ")");
    }
    line += ": " + each.join(", ").toStdString();
  }
  const int refused = terminal.value("refused").toInt();
  if (refused > 0) line += ", refused " + counted(refused, "connection");
  return line;
}

}  // namespace korven::demo
