// korven-cli history: what each terminal last took, every run of some, the
// terminals that do not run an image yet, and reports recorded after the fact.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "app/cli/Commands.h"
#include "app/cli/HistoryFile.h"
#include "app/cli/Output.h"
#include "app/cli/ReportImport.h"
#include "image/Sha256.h"
#include "rollout/Currency.h"

namespace korven::cli {
namespace {

QJsonValue text(const std::string& bytes) {
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QJsonValue textOrNull(const std::string& bytes) {
  return bytes.empty() ? QJsonValue(QJsonValue::Null) : text(bytes);
}

QJsonValue numberOrNull(const std::optional<int>& n) {
  return n ? QJsonValue(*n) : QJsonValue(QJsonValue::Null);
}

QJsonObject entryJson(const HistoryEntry& e) {
  return QJsonObject{{"address", text(e.row.address)},
                     {"image", text(e.run.image)},
                     {"image_sha256", textOrNull(e.run.imageSha256)},
                     {"outcome", text(e.row.outcome)},
                     {"clean", text(e.row.clean)},
                     {"reply", text(e.row.reply)},
                     {"pieces_sent", e.row.piecesSent},
                     {"pieces_total", e.row.piecesTotal},
                     {"wave", numberOrNull(e.row.wave)},
                     {"started", text(e.run.started)},
                     {"ended", textOrNull(e.run.ended)},
                     {"report_file", text(e.run.reportFile)},
                     {"exit_code", numberOrNull(e.run.exitCode)}};
}

// "5f1c2a9b8e7d", the digest as a person compares it; "-" when unknown.
std::string shortDigest(const std::string& sha256) {
  return sha256.empty() ? "-" : sha256.substr(0, 12);
}

void printLatest(const HistoryEntry& e) {
  std::printf("%s %s %s %s %s %s\n", e.row.address.c_str(), e.run.image.c_str(),
              shortDigest(e.run.imageSha256).c_str(), e.row.outcome.c_str(), e.row.clean.c_str(),
              e.run.started.c_str());
}

void printJson(QJsonObject object, const std::string& path) {
  object.insert("history_version", 1);
  object.insert("history_file", text(path));
  std::printf("%s\n", QJsonDocument(object).toJson(QJsonDocument::Compact).constData());
}

// The digest of the image a --pending asks about: given, or of its file, or,
// when no such file is here, of the newest run of an image of that name.
std::optional<int> digestAsked(const CliOptions& o, History* history, std::string& sha256) {
  sha256 = o.sha256;
  if (o.imageFile.empty()) return std::nullopt;
  std::ifstream in(o.imageFile, std::ios::binary);
  if (in) {
    sha256 = sha256Hex(std::string(std::istreambuf_iterator<char>(in), {}));
    return std::nullopt;
  }
  const std::string name = std::filesystem::path(o.imageFile).filename().string();
  if (history != nullptr) sha256 = history->digestOf(name);
  if (sha256.empty()) {
    return fail(kRefused, "cannot read the image " + o.imageFile +
                              ", and no run in the history knew the digest of " + name +
                              "; give its path or --sha256");
  }
  note(o.imageFile + " is not here; " + name + " as its newest run had it: " + shortDigest(sha256));
  return std::nullopt;
}

int importReports(const CliOptions& o, History& history) {
  int code = kClean;
  for (const std::string& file : o.words) {
    std::ifstream in(file, std::ios::binary);
    const auto run = in ? importReport(std::string(std::istreambuf_iterator<char>(in), {}),
                                       std::filesystem::absolute(file).string())
                        : std::nullopt;
    if (!run) {
      code = fail(kRefused, file +
                                " is no report of an update, or names no terminal; give the "
                                "reports that updates wrote");
    } else if (history.knows(run->run.reportFile, run->run.started)) {
      note(file + ": in the history already");
    } else if (!history.record(run->run, run->rows)) {
      code = fail(kNotClean, file + ": the history could not take it: " + history.lastError());
    } else {
      note(file + ": recorded, " + std::to_string(run->rows.size()) + " terminals");
    }
  }
  return code;
}

}  // namespace

int history(const CliOptions& o) {
  std::unique_ptr<History> history;
  if (const auto refused = openHistoryOf(o, o.import, history)) return *refused;
  const std::string path = historyPath(o);
  if (o.import) return importReports(o, *history);
  if (!o.words.empty()) {
    const auto records = history ? history->recordsOf(o.words) : std::vector<HistoryEntry>{};
    QJsonArray json;
    for (const HistoryEntry& e : records) {
      if (o.json) {
        json.append(entryJson(e));
      } else {
        std::printf("%s %s %s %s %s %s %s\n", e.run.started.c_str(), e.row.address.c_str(),
                    e.run.image.c_str(), shortDigest(e.run.imageSha256).c_str(),
                    e.row.outcome.c_str(), e.row.clean.c_str(), e.run.reportFile.c_str());
      }
    }
    if (o.json) printJson(QJsonObject{{"records", json}}, path);
    return kClean;
  }
  std::string sha256;
  if (o.pending) {
    if (const auto refused = digestAsked(o, history.get(), sha256)) return *refused;
  }
  const auto latest = history ? history->latest() : std::vector<HistoryEntry>{};
  std::map<std::string, HistoryEntry> lastClean;
  for (const HistoryEntry& e :
       history ? history->latestClean(!o.requireVerdict) : std::vector<HistoryEntry>{}) {
    lastClean.emplace(e.row.address, e);
  }
  QJsonArray terminals;
  QJsonArray pending;
  QJsonArray current;
  for (const HistoryEntry& e : latest) {
    const bool isPending = o.pending && !isCurrent(e, sha256, o.requireVerdict);
    (isPending ? pending : current).append(text(e.row.address));
    QJsonObject entry = entryJson(e);
    const auto clean = lastClean.find(e.row.address);
    entry.insert("last_clean",
                 clean == lastClean.end()
                     ? QJsonValue(QJsonValue::Null)
                     : QJsonObject{{"image", text(clean->second.run.image)},
                                   {"image_sha256", textOrNull(clean->second.run.imageSha256)},
                                   {"started", text(clean->second.run.started)},
                                   {"report_file", text(clean->second.run.reportFile)}});
    terminals.append(entry);
    if (!o.json && (!o.pending || isPending)) printLatest(e);
  }
  if (o.json) {
    QJsonObject object{{"terminals", terminals}};
    if (o.pending) {
      object.insert("image", textOrNull(o.imageFile));
      object.insert("image_sha256", text(sha256));
      object.insert("pending", pending);
      object.insert("current", current);
    }
    printJson(object, path);
  } else if (o.pending) {
    note(std::to_string(pending.size()) + " of " + std::to_string(latest.size()) +
         " terminals do not run " + (o.imageFile.empty() ? "the image" : o.imageFile) + " (" +
         shortDigest(sha256) + ")");
  }
  return kClean;
}

}  // namespace korven::cli
