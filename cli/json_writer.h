#pragma once
// A small JSON writer for the tool's --json output: one object, built in
// order, strings escaped.

#include <cstdint>
#include <string>
#include <vector>

class JsonValue {
 public:
  static JsonValue String(const std::string& s);
  static JsonValue Number(int64_t n);
  static JsonValue Bool(bool b);
  static JsonValue Null();
  static JsonValue Object();
  static JsonValue Array();

  // Object members keep their insertion order.
  JsonValue& Set(const std::string& key, JsonValue value);
  JsonValue& Push(JsonValue value);

  std::string Dump() const;

 private:
  enum class Kind { kString, kNumber, kBool, kNull, kObject, kArray };
  Kind kind_ = Kind::kNull;
  std::string text_;  // string value or number text
  bool flag_ = false;
  std::vector<std::pair<std::string, JsonValue>> members_;
  std::vector<JsonValue> items_;

  void DumpTo(std::string& out) const;
};

std::string JsonEscape(const std::string& s);
