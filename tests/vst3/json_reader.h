#pragma once
// A strict reader of JSON text for the tests: what a host's parser would accept, nothing more
// (no comments, no trailing commas, no bare words).
#include <cctype>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace json_reader {

struct Value {
  enum Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = kNull;
  bool boolean = false;
  double number = 0.0;
  std::string text;  // strings; for numbers, the digits as written
  std::vector<Value> items;
  std::vector<std::string> keys;  // in the order written
  std::map<std::string, Value> members;

  const Value* Get(const std::string& key) const {
    auto it = members.find(key);
    return it == members.end() ? nullptr : &it->second;
  }
};

class Parser {
 public:
  explicit Parser(const std::string& s) : mS(s) {}

  // False (with Error() saying where) unless the whole text is one value.
  bool Parse(Value* out) {
    mPos = 0;
    mError.clear();
    if (!ParseValue(out, 0)) return false;
    SkipSpace();
    if (mPos != mS.size()) return Fail("text after the value");
    return true;
  }
  const std::string& Error() const { return mError; }

 private:
  bool Fail(const std::string& why) {
    if (mError.empty()) mError = why + " at offset " + std::to_string(mPos);
    return false;
  }
  void SkipSpace() {
    while (mPos < mS.size() &&
           (mS[mPos] == ' ' || mS[mPos] == '\n' || mS[mPos] == '\r' || mS[mPos] == '\t'))
      ++mPos;
  }
  bool Literal(const char* word) {
    const std::string w(word);
    if (mS.compare(mPos, w.size(), w) != 0) return Fail("unexpected text");
    mPos += w.size();
    return true;
  }
  bool ParseString(std::string* out) {
    if (mPos >= mS.size() || mS[mPos] != '"') return Fail("expected a string");
    ++mPos;
    out->clear();
    while (mPos < mS.size()) {
      const unsigned char c = static_cast<unsigned char>(mS[mPos++]);
      if (c == '"') return true;
      if (c < 0x20) return Fail("control character in a string");
      if (c != '\\') {
        *out += static_cast<char>(c);
        continue;
      }
      if (mPos >= mS.size()) break;
      const char e = mS[mPos++];
      switch (e) {
        case '"':
        case '\\':
        case '/':
          *out += e;
          break;
        case 'b':
          *out += '\b';
          break;
        case 'f':
          *out += '\f';
          break;
        case 'n':
          *out += '\n';
          break;
        case 'r':
          *out += '\r';
          break;
        case 't':
          *out += '\t';
          break;
        case 'u': {
          if (mPos + 4 > mS.size()) return Fail("short \\u escape");
          const std::string hex = mS.substr(mPos, 4);
          char* end = nullptr;
          const long code = std::strtol(hex.c_str(), &end, 16);
          if (end != hex.c_str() + 4) return Fail("bad \\u escape");
          if (code >= 0x80) return Fail("\\u escape beyond ASCII");  // none of ours
          *out += static_cast<char>(code);
          mPos += 4;
          break;
        }
        default:
          return Fail("bad escape");
      }
    }
    return Fail("unterminated string");
  }
  bool ParseNumber(Value* v) {
    const size_t start = mPos;
    if (mPos < mS.size() && mS[mPos] == '-') ++mPos;
    if (mPos >= mS.size() || !std::isdigit(static_cast<unsigned char>(mS[mPos])))
      return Fail("expected a number");
    if (mS[mPos] == '0' && mPos + 1 < mS.size() &&
        std::isdigit(static_cast<unsigned char>(mS[mPos + 1])))
      return Fail("leading zero");
    while (mPos < mS.size() &&
           (std::isdigit(static_cast<unsigned char>(mS[mPos])) || mS[mPos] == '.' ||
            mS[mPos] == 'e' || mS[mPos] == 'E' || mS[mPos] == '+' || mS[mPos] == '-'))
      ++mPos;
    v->kind = Value::kNumber;
    v->text = mS.substr(start, mPos - start);
    char* end = nullptr;
    v->number = std::strtod(v->text.c_str(), &end);
    if (end != v->text.c_str() + v->text.size()) return Fail("malformed number");
    return true;
  }
  bool ParseValue(Value* v, int depth) {
    if (depth > 64) return Fail("nested too deeply");
    SkipSpace();
    if (mPos >= mS.size()) return Fail("unexpected end");
    const char c = mS[mPos];
    if (c == '{') {
      ++mPos;
      v->kind = Value::kObject;
      SkipSpace();
      if (mPos < mS.size() && mS[mPos] == '}') return ++mPos, true;
      for (;;) {
        SkipSpace();
        std::string key;
        if (!ParseString(&key)) return false;
        if (v->members.count(key)) return Fail("duplicate key " + key);
        SkipSpace();
        if (mPos >= mS.size() || mS[mPos] != ':') return Fail("expected ':'");
        ++mPos;
        Value member;
        if (!ParseValue(&member, depth + 1)) return false;
        v->keys.push_back(key);
        v->members.emplace(key, std::move(member));
        SkipSpace();
        if (mPos < mS.size() && mS[mPos] == ',') {
          ++mPos;
          continue;
        }
        if (mPos < mS.size() && mS[mPos] == '}') return ++mPos, true;
        return Fail("expected ',' or '}'");
      }
    }
    if (c == '[') {
      ++mPos;
      v->kind = Value::kArray;
      SkipSpace();
      if (mPos < mS.size() && mS[mPos] == ']') return ++mPos, true;
      for (;;) {
        Value item;
        if (!ParseValue(&item, depth + 1)) return false;
        v->items.push_back(std::move(item));
        SkipSpace();
        if (mPos < mS.size() && mS[mPos] == ',') {
          ++mPos;
          continue;
        }
        if (mPos < mS.size() && mS[mPos] == ']') return ++mPos, true;
        return Fail("expected ',' or ']'");
      }
    }
    if (c == '"') {
      v->kind = Value::kString;
      return ParseString(&v->text);
    }
    if (c == 't') return v->kind = Value::kBool, v->boolean = true, Literal("true");
    if (c == 'f') return v->kind = Value::kBool, v->boolean = false, Literal("false");
    if (c == 'n') return v->kind = Value::kNull, Literal("null");
    return ParseNumber(v);
  }

  const std::string mS;
  size_t mPos = 0;
  std::string mError;
};

}  // namespace json_reader
