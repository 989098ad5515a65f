#include "cli/json_writer.h"

#include <cstdio>
#include <utility>

std::string JsonEscape(const std::string& s) {
  std::string out;
  out.reserve(s.size() + 2);
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      default:
        if (c < 0x20 || c >= 0x7F) {
          // Sensor texts are raw bytes; anything outside printable ASCII is
          // written as its code so the output stays valid JSON.
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out;
}

JsonValue JsonValue::String(const std::string& s) {
  JsonValue v;
  v.kind_ = Kind::kString;
  v.text_ = s;
  return v;
}

JsonValue JsonValue::Number(int64_t n) {
  JsonValue v;
  v.kind_ = Kind::kNumber;
  v.text_ = std::to_string(n);
  return v;
}

JsonValue JsonValue::Bool(bool b) {
  JsonValue v;
  v.kind_ = Kind::kBool;
  v.flag_ = b;
  return v;
}

JsonValue JsonValue::Null() { return JsonValue(); }

JsonValue JsonValue::Object() {
  JsonValue v;
  v.kind_ = Kind::kObject;
  return v;
}

JsonValue JsonValue::Array() {
  JsonValue v;
  v.kind_ = Kind::kArray;
  return v;
}

JsonValue& JsonValue::Set(const std::string& key, JsonValue value) {
  for (auto& member : members_) {
    if (member.first == key) {
      member.second = std::move(value);
      return *this;
    }
  }
  members_.emplace_back(key, std::move(value));
  return *this;
}

JsonValue& JsonValue::Push(JsonValue value) {
  items_.push_back(std::move(value));
  return *this;
}

std::string JsonValue::Dump() const {
  std::string out;
  DumpTo(out);
  return out;
}

void JsonValue::DumpTo(std::string& out) const {
  switch (kind_) {
    case Kind::kString: out += '"' + JsonEscape(text_) + '"'; break;
    case Kind::kNumber: out += text_; break;
    case Kind::kBool: out += flag_ ? "true" : "false"; break;
    case Kind::kNull: out += "null"; break;
    case Kind::kObject: {
      out += '{';
      bool first = true;
      for (const auto& [key, value] : members_) {
        if (!first) out += ',';
        first = false;
        out += '"' + JsonEscape(key) + "\":";
        value.DumpTo(out);
      }
      out += '}';
      break;
    }
    case Kind::kArray: {
      out += '[';
      bool first = true;
      for (const auto& item : items_) {
        if (!first) out += ',';
        first = false;
        item.DumpTo(out);
      }
      out += ']';
      break;
    }
  }
}
