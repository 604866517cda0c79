#include "update/ReportFormat.h"

#include <cstdio>

namespace korven {
namespace {

constexpr const char* kTableHeader =
    "terminal,address,in_range,connected,pieces_sent,pieces_total,first_failed_piece,reply,"
    "outcome";

// A CSV field, quoted when it holds a comma, a quote or a line break. Texts
// from the network (addresses) may hold anything.
std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

}  // namespace

std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte > 0x7E) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04X", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + '"';
}

namespace {

std::string yesNo(bool value) {
  return value ? "yes" : "no";
}

std::string optionalNumber(const std::optional<int>& n, const char* none) {
  return n ? std::to_string(*n) : none;
}

// The fields of one CSV line, quotes undone.
std::vector<std::string> csvFields(const std::string& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
      fields.back() += '"';
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      fields.emplace_back();
    } else if (c != '\r') {
      fields.back() += c;
    }
  }
  return fields;
}

}  // namespace

std::string formatTime(const LocalTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return text;
}

std::string reportFileName(const UpdateRecord& record) {
  std::string stamp = formatTime(record.started);
  for (char& c : stamp) {
    if (c == ' ') c = '_';
    if (c == ':') c = '-';
  }
  std::string image = record.image;
  for (char& c : image) {
    if (c == '/' || c == '\\') c = '_';
  }
  return stamp + "_" + image + ".csv";
}

std::string reportCsv(const UpdateRecord& r) {
  std::string out;
  const auto line = [&](const char* key, const std::string& value) {
    out += std::string(key) + "," + csvField(value) + "\r\n";
  };
  line("image", r.image);
  line("image_bytes", std::to_string(r.imageBytes));
  line("blocks", std::to_string(r.blocks));
  line("checksum", std::to_string(r.checksum));
  line("mode", r.allTerminals ? "all terminals" : "single terminal");
  line("range", r.allTerminals ? std::to_string(r.from) + "-" + std::to_string(r.to) : "");
  line("block_pace_ms", std::to_string(r.blockPaceMs));
  line("go_boot", r.goBoot ? "on" : "off");
  line("started", formatTime(r.started));
  line("ended", formatTime(r.ended));
  line("version", r.version);
  out += "\r\n";
  out += std::string(kTableHeader) + "\r\n";
  for (const TerminalRecord& t : r.terminals) {
    out += optionalNumber(t.terminal, "") + "," + csvField(t.address) + "," + yesNo(t.inRange) +
           "," + yesNo(t.connected) + "," + std::to_string(t.piecesSent) + "," +
           std::to_string(r.piecesTotal) + "," + optionalNumber(t.firstFailedPiece, "") + "," +
           t.reply + "," + t.outcome(r.piecesTotal) + "\r\n";
  }
  return out;
}

std::string reportJson(const UpdateRecord& r) {
  std::string out = "{";
  out += "\"image\":" + jsonString(r.image);
  out += ",\"image_bytes\":" + std::to_string(r.imageBytes);
  out += ",\"blocks\":" + std::to_string(r.blocks);
  out += ",\"checksum\":" + std::to_string(r.checksum);
  out +=
      std::string(",\"mode\":\"") + (r.allTerminals ? "all terminals" : "single terminal") + "\"";
  out += ",\"range\":" + (r.allTerminals ? "{\"from\":" + std::to_string(r.from) +
                                               ",\"to\":" + std::to_string(r.to) + "}"
                                         : std::string("null"));
  out += ",\"block_pace_ms\":" + std::to_string(r.blockPaceMs);
  out += std::string(",\"go_boot\":") + (r.goBoot ? "true" : "false");
  out += ",\"started\":" + jsonString(formatTime(r.started));
  out += ",\"ended\":" + jsonString(formatTime(r.ended));
  out += ",\"version\":" + jsonString(r.version);
  out += ",\"terminals\":[";
  for (std::size_t i = 0; i < r.terminals.size(); ++i) {
    const TerminalRecord& t = r.terminals[i];
    out += i == 0 ? "{" : ",{";
    out += "\"terminal\":" + optionalNumber(t.terminal, "null");
    out += ",\"address\":" + jsonString(t.address);
    out += std::string(",\"in_range\":") + (t.inRange ? "true" : "false");
    out += std::string(",\"connected\":") + (t.connected ? "true" : "false");
    out += ",\"pieces_sent\":" + std::to_string(t.piecesSent);
    out += ",\"pieces_total\":" + std::to_string(r.piecesTotal);
    out += ",\"first_failed_piece\":" + optionalNumber(t.firstFailedPiece, "null");
    out += ",\"reply\":" + jsonString(t.reply);
    out += ",\"outcome\":" + jsonString(t.outcome(r.piecesTotal)) + "}";
  }
  return out + "]}\n";
}

std::vector<std::string> terminalsToRetry(const std::string& csv) {
  std::vector<std::string> addresses;
  bool inTable = false;
  std::size_t at = 0;
  while (at < csv.size()) {
    std::size_t end = csv.find('\n', at);
    if (end == std::string::npos) end = csv.size();
    const std::string line = csv.substr(at, end - at);
    at = end + 1;
    if (!inTable) {
      inTable = line.rfind(kTableHeader, 0) == 0;
      continue;
    }
    const std::vector<std::string> f = csvFields(line);
    if (f.size() < 9) continue;
    const std::string& reply = f[7];
    const std::string& outcome = f[8];
    if (f[2] == "yes" && (outcome != "streamed" || reply == "CHKERR" || reply == "FULL")) {
      addresses.push_back(f[1]);
    }
  }
  return addresses;
}

}  // namespace korven
