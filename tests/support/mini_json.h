#pragma once
// Checking a program's --json output: the text is parsed by nlohmann-json
// (strictly: one value, only white space after it) and handed to the tests
// as a small tree with member order kept, so expectations can name members
// in the order the program writes them.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

struct Json {
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };
  Kind kind = Kind::kNull;
  bool boolean = false;
  double number = 0;
  std::string numberText;
  std::string text;
  std::vector<Json> items;
  std::vector<std::pair<std::string, Json>> members;

  bool IsObject() const { return kind == Kind::kObject; }
  bool IsArray() const { return kind == Kind::kArray; }
  bool IsString() const { return kind == Kind::kString; }
  bool IsNumber() const { return kind == Kind::kNumber; }

  bool Has(const std::string& key) const {
    for (const auto& m : members)
      if (m.first == key) return true;
    return false;
  }
  // The member (a null value when missing).
  const Json& operator[](const std::string& key) const {
    static const Json kMissing;
    for (const auto& m : members)
      if (m.first == key) return m.second;
    return kMissing;
  }
  std::vector<std::string> Keys() const {
    std::vector<std::string> keys;
    for (const auto& m : members) keys.push_back(m.first);
    return keys;
  }
  int64_t Int() const { return static_cast<int64_t>(number); }
};

class JsonReader {
 public:
  // Parses exactly one value; only white space may follow it.
  static std::optional<Json> ParseOne(const std::string& text, std::string* error = nullptr) {
    nlohmann::ordered_json parsed;
    try {
      parsed = nlohmann::ordered_json::parse(text);
    } catch (const nlohmann::json::exception& e) {
      if (error) *error = e.what();
      return std::nullopt;
    }
    return Convert(parsed);
  }

 private:
  static Json Convert(const nlohmann::ordered_json& in) {
    Json out;
    switch (in.type()) {
      case nlohmann::json::value_t::boolean:
        out.kind = Json::Kind::kBool;
        out.boolean = in.get<bool>();
        break;
      case nlohmann::json::value_t::number_integer:
      case nlohmann::json::value_t::number_unsigned:
      case nlohmann::json::value_t::number_float:
        out.kind = Json::Kind::kNumber;
        out.number = in.get<double>();
        out.numberText = in.dump();
        break;
      case nlohmann::json::value_t::string:
        out.kind = Json::Kind::kString;
        out.text = in.get<std::string>();
        break;
      case nlohmann::json::value_t::array:
        out.kind = Json::Kind::kArray;
        for (const auto& item : in) out.items.push_back(Convert(item));
        break;
      case nlohmann::json::value_t::object:
        out.kind = Json::Kind::kObject;
        for (const auto& [key, value] : in.items()) out.members.emplace_back(key, Convert(value));
        break;
      default:
        break;
    }
    return out;
  }
};

}  // namespace testsupport
