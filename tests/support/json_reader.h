// A strict reader of one JSON text, for tests that check a program's JSON as a parser would: any
// syntax error, trailing text or bad escape fails the whole parse. Header-only, no Windows calls,
// so host and Wine tests share it.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace json_test {

struct value {
  enum kind_t { null, boolean, number, string, array, object } kind = null;
  bool flag = false;
  double num = 0;
  std::string text;
  std::vector<value> items;
  std::map<std::string, value> members;

  bool has(const std::string& name) const { return kind == object && members.count(name) != 0; }
  const value& operator[](const std::string& name) const { return members.at(name); }
  const value& operator[](size_t index) const { return items.at(index); }
};

class reader {
 public:
  // False (with the offset of the fault in `error`) unless `text` is exactly one JSON value.
  static bool parse(const std::string& text, value* out, std::string* error) {
    reader r(text);
    if (r.read_value(out, 0) && (r.skip_blanks(), r.pos_ == text.size())) return true;
    *error = "not JSON at offset " + std::to_string(r.pos_);
    return false;
  }

 private:
  explicit reader(const std::string& text) : s_(text) {}

  void skip_blanks() {
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' || s_[pos_] == '\r')) ++pos_;
  }
  bool take(char c) {
    skip_blanks();
    if (pos_ < s_.size() && s_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  bool word(const char* w) {
    std::string expected(w);
    if (s_.compare(pos_, expected.size(), expected) != 0) return false;
    pos_ += expected.size();
    return true;
  }
  bool read_string(std::string* out) {
    if (!take('"')) return false;
    while (pos_ < s_.size()) {
      unsigned char c = static_cast<unsigned char>(s_[pos_++]);
      if (c == '"') return true;
      if (c < 0x20) return false;
      if (c != '\\') {
        out->push_back(static_cast<char>(c));
        continue;
      }
      if (pos_ >= s_.size()) return false;
      char e = s_[pos_++];
      const std::string simple = "\"\\/bfnrt", meaning = "\"\\/\b\f\n\r\t";
      size_t at = simple.find(e);
      if (at != std::string::npos) {
        out->push_back(meaning[at]);
      } else if (e == 'u' && pos_ + 4 <= s_.size() &&
                 s_.substr(pos_, 4).find_first_not_of("0123456789abcdefABCDEF") == std::string::npos) {
        unsigned code = static_cast<unsigned>(std::stoul(s_.substr(pos_, 4), nullptr, 16));
        pos_ += 4;
        out->push_back(code < 0x80 ? static_cast<char>(code) : '?');
      } else {
        return false;
      }
    }
    return false;
  }
  bool read_number(value* out) {
    size_t start = pos_;
    if (pos_ < s_.size() && s_[pos_] == '-') ++pos_;
    size_t digits = pos_;
    while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9') ++pos_;
    if (pos_ == digits || (s_[digits] == '0' && pos_ - digits > 1)) return false;
    out->kind = value::number;
    out->num = std::stod(s_.substr(start, pos_ - start));
    return true;
  }
  bool read_value(value* out, int depth) {
    if (depth > 32) return false;
    skip_blanks();
    if (pos_ >= s_.size()) return false;
    char c = s_[pos_];
    if (c == '{') {
      ++pos_;
      out->kind = value::object;
      if (take('}')) return true;
      do {
        std::string name;
        value member;
        skip_blanks();
        if (!read_string(&name) || !take(':') || !read_value(&member, depth + 1)) return false;
        if (!out->members.emplace(name, member).second) return false;  // a name twice
      } while (take(','));
      return take('}');
    }
    if (c == '[') {
      ++pos_;
      out->kind = value::array;
      if (take(']')) return true;
      do {
        value item;
        if (!read_value(&item, depth + 1)) return false;
        out->items.push_back(item);
      } while (take(','));
      return take(']');
    }
    if (c == '"') {
      out->kind = value::string;
      return read_string(&out->text);
    }
    if (word("true") || word("false")) {
      out->kind = value::boolean;
      out->flag = c == 't';
      return true;
    }
    if (word("null")) return true;
    return read_number(out);
  }

  const std::string& s_;
  size_t pos_ = 0;
};

}  // namespace json_test
