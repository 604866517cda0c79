#include "sim/Report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace korven::sim {

namespace {

class Json {
 public:
  Json& raw(std::string_view text) {
    out_ += text;
    return *this;
  }
  Json& key(std::string_view name) {
    comma();
    out_ += jsonString(name);
    out_ += ':';
    fresh_ = true;
    return *this;
  }
  Json& value(std::string_view text) { return scalar(jsonString(text)); }
  Json& value(const char* text) { return value(std::string_view(text)); }
  Json& value(long long n) { return scalar(std::to_string(n)); }
  Json& value(bool b) { return scalar(b ? "true" : "false"); }
  Json& null() { return scalar("null"); }
  Json& open(char bracket) {
    comma();
    out_ += bracket;
    fresh_ = true;
    return *this;
  }
  Json& close(char bracket) {
    out_ += bracket;
    fresh_ = false;
    return *this;
  }
  std::string take() { return std::move(out_); }

 private:
  void comma() {
    if (!fresh_) out_ += ',';
    fresh_ = false;
  }
  Json& scalar(std::string_view text) {
    comma();
    out_ += text;
    return *this;
  }
  std::string out_;
  bool fresh_ = true;
};

void writeGaps(Json& j, const Verdict& v) {
  j.key("gaps").open('{');
  for (std::size_t k = 0; k < kGapKinds; ++k) {
    const GapStats& g = v.gaps[k];
    j.key(gapKindName(GapKind(k))).open('{');
    j.key("expected_us").value(static_cast<long long>(g.expected));
    j.key("count").value(static_cast<long long>(g.count));
    if (g.count > 0) {
      j.key("min_us").value(static_cast<long long>(g.min));
      j.key("max_us").value(static_cast<long long>(g.max));
    } else {
      j.key("min_us").null();
      j.key("max_us").null();
    }
    j.key("worst_early_us").value(static_cast<long long>(g.worstEarly));
    j.key("worst_late_us").value(static_cast<long long>(g.worstLate));
    j.key("early_count").value(static_cast<long long>(g.earlyCount));
    j.key("late_ms").open('{');
    for (const auto& [ms, n] : g.lateMs) j.key(std::to_string(ms)).value(static_cast<long long>(n));
    j.close('}');
    j.close('}');
  }
  j.close('}');
}

void writeStream(Json& j, const StreamSummary& s) {
  const Verdict& v = s.verdict;
  j.open('{');
  j.key("bytes").value(static_cast<long long>(v.bytes));
  j.key("blocks").value(static_cast<long long>(v.blocks));
  j.key("boot").value(v.boot);
  j.key("checksum").value(v.checksum);
  j.key("image").value(v.image);
  j.key("verdict").value(v.ok() ? "ok" : "faulty");
  j.key("problems").open('[');
  for (const std::string& p : v.problems) j.value(p);
  j.close(']');
  j.key("opened_us").value(static_cast<long long>(s.openedAt));
  if (s.closedAt) {
    j.key("closed_us").value(static_cast<long long>(*s.closedAt));
    j.key("closed_by").value(s.closedByTerminal ? "terminal" : "program");
  } else {
    j.key("closed_us").null();
    j.key("closed_by").null();
  }
  writeGaps(j, v);
  j.close('}');
}

}  // namespace

std::string jsonString(std::string_view text) {
  std::string out = "\"";
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c < 0x20 || c >= 0x7F) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04X", c);
      out += esc;
    } else {
      out += ch;
    }
  }
  out += '"';
  return out;
}

std::string reportJson(const std::vector<Terminal>& terminals, TimeUs startedAt) {
  Json j;
  j.open('{');
  j.key("started_us").value(static_cast<long long>(startedAt));
  j.key("terminals").open('[');
  for (const Terminal& t : terminals) {
    j.open('{');
    j.key("address").value(t.address());
    j.key("mode").value(t.mode());
    j.key("queries").value(static_cast<long long>(t.queries()));
    j.key("answered").value(static_cast<long long>(t.answered()));
    j.key("commands").open('[');
    for (const CommandRecord& c : t.commands()) {
      j.open('{');
      j.key("name").value(c.name);
      j.key("t_us").value(static_cast<long long>(c.at));
      j.key("broadcast").value(c.broadcast);
      j.close('}');
    }
    j.close(']');
    j.key("mac_shown").value(static_cast<long long>(t.macShown()));
    j.key("connections").value(static_cast<long long>(t.connections()));
    j.key("refused").value(static_cast<long long>(t.refused()));
    j.key("bytes").value(static_cast<long long>(t.bytes()));
    j.key("status_sent").open('[');
    for (const StatusRecord& s : t.statusSent()) {
      j.open('{');
      j.key("code").value(statusName(s.code));
      j.key("t_us").value(static_cast<long long>(s.at));
      j.close('}');
    }
    j.close(']');
    j.key("streams").open('[');
    for (const StreamSummary& s : t.streamsNow()) writeStream(j, s);
    j.close(']');
    j.close('}');
  }
  j.close(']');
  j.close('}');
  std::string out = j.take();
  out += '\n';
  return out;
}

bool writeReportFile(const std::string& path, const std::string& text, std::string& error) {
  const std::string temporary = path + ".tmp";
  std::FILE* f = std::fopen(temporary.c_str(), "wb");
  if (f == nullptr) {
    error = "cannot write " + temporary + ": " + std::strerror(errno);
    return false;
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (std::fclose(f) != 0 || !written) {
    error = "cannot write " + temporary + ": " + std::strerror(errno);
    std::remove(temporary.c_str());
    return false;
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    error = "cannot rename " + temporary + " to " + path + ": " + std::strerror(errno);
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace korven::sim
