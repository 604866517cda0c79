#pragma once

#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korven::sim::test {

// Just enough of a JSON reader to prove a report parses and to look inside.
struct Json {
  enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<Json> items;
  std::map<std::string, Json> fields;

  const Json& operator[](const std::string& key) const {
    static const Json none;
    auto it = fields.find(key);
    return it == fields.end() ? none : it->second;
  }
  const Json& operator[](std::size_t i) const { return items.at(i); }
  long long integer() const { return static_cast<long long>(number); }
};

class JsonReader {
 public:
  static std::optional<Json> parse(const std::string& text) {
    JsonReader r(text);
    Json value;
    if (!r.value(value)) return std::nullopt;
    r.blank();
    if (r.p_ != text.size()) return std::nullopt;
    return value;
  }

 private:
  explicit JsonReader(const std::string& text) : s_(text) {}

  void blank() {
    while (p_ < s_.size() &&
           (s_[p_] == ' ' || s_[p_] == '\n' || s_[p_] == '\t' || s_[p_] == '\r')) {
      ++p_;
    }
  }
  bool literal(const char* word) {
    const std::string w(word);
    if (s_.compare(p_, w.size(), w) != 0) return false;
    p_ += w.size();
    return true;
  }
  bool string(std::string& out) {
    if (p_ >= s_.size() || s_[p_] != '"') return false;
    for (++p_; p_ < s_.size(); ++p_) {
      const char c = s_[p_];
      if (c == '"') {
        ++p_;
        return true;
      }
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (++p_ >= s_.size()) return false;
      switch (s_[p_]) {
        case '"':
          out += '"';
          break;
        case '\\':
          out += '\\';
          break;
        case '/':
          out += '/';
          break;
        case 'n':
          out += '\n';
          break;
        case 't':
          out += '\t';
          break;
        case 'r':
          out += '\r';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'u': {
          if (p_ + 4 >= s_.size()) return false;
          const unsigned long code = std::strtoul(s_.substr(p_ + 1, 4).c_str(), nullptr, 16);
          if (code > 0xFF) return false;  // the report writes bytes only
          out += static_cast<char>(code);
          p_ += 4;
          break;
        }
        default:
          return false;
      }
    }
    return false;
  }
  bool value(Json& v) {
    blank();
    if (p_ >= s_.size()) return false;
    const char c = s_[p_];
    if (c == '{') {
      v.kind = Json::Object;
      ++p_;
      blank();
      if (p_ < s_.size() && s_[p_] == '}') return ++p_, true;
      for (;;) {
        blank();
        std::string key;
        if (!string(key)) return false;
        blank();
        if (p_ >= s_.size() || s_[p_++] != ':') return false;
        if (!value(v.fields[key])) return false;
        blank();
        if (p_ < s_.size() && s_[p_] == ',') {
          ++p_;
          continue;
        }
        return p_ < s_.size() && s_[p_++] == '}';
      }
    }
    if (c == '[') {
      v.kind = Json::Array;
      ++p_;
      blank();
      if (p_ < s_.size() && s_[p_] == ']') return ++p_, true;
      for (;;) {
        v.items.emplace_back();
        if (!value(v.items.back())) return false;
        blank();
        if (p_ < s_.size() && s_[p_] == ',') {
          ++p_;
          continue;
        }
        return p_ < s_.size() && s_[p_++] == ']';
      }
    }
    if (c == '"') {
      v.kind = Json::String;
      return string(v.text);
    }
    if (literal("null")) return true;
    if (literal("true") || literal("false")) {
      v.kind = Json::Bool;
      v.boolean = s_[p_ - 1] == 'e' && s_[p_ - 2] == 'u';
      return true;
    }
    char* end = nullptr;
    v.number = std::strtod(s_.c_str() + p_, &end);
    if (end == s_.c_str() + p_) return false;
    v.kind = Json::Number;
    p_ = static_cast<std::size_t>(end - s_.c_str());
    return true;
  }

  const std::string& s_;
  std::size_t p_ = 0;
};

}  // namespace korven::sim::test
