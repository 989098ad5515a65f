#include "tarkon/cli/cli_output.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iostream>

#include "files/console.h"
#include "tarkon/document/printable_text.h"

std::string TrimmedText(const std::string& text) {
  const char* blanks = " \t\r\n";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  const size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

std::optional<NumberWithUnit> ReadNumberWithUnit(const std::string& text) {
  const std::string t = TrimmedText(text);
  if (t.empty()) return std::nullopt;
  const char* first = t.data();
  const char* last = t.data() + t.size();
  bool negative = false;
  if (*first == '-' || *first == '+') {
    negative = *first == '-';
    ++first;
  }
  if (first == last || !(std::isdigit(static_cast<unsigned char>(*first)) || *first == '.')) return std::nullopt;
  double value = 0;
  const auto [end, ec] = std::from_chars(first, last, value, std::chars_format::fixed);
  if (ec != std::errc()) return std::nullopt;
  NumberWithUnit out;
  out.number = negative ? -value : value;
  out.whole = std::string(first, end).find('.') == std::string::npos && std::fabs(out.number) < 9e15;
  const std::string rest = TrimmedText(std::string(end, last));
  // A unit is one word of letters.
  if (!std::all_of(rest.begin(), rest.end(), [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }))
    return std::nullopt;
  out.unit = rest;
  return out;
}

CliJson NumberJson(const NumberWithUnit& n) {
  if (n.whole) return static_cast<int64_t>(n.number);
  return n.number;
}

CliJson RowsJson(const PanelRows& rows) {
  CliJson list = CliJson::array();
  for (const PanelRow& r : rows) {
    if (TrimmedText(r.name).empty() && TrimmedText(r.value).empty()) continue;
    CliJson row = {{"name", TrimmedText(r.name)}, {"value", TrimmedText(r.value)}};
    if (const auto n = ReadNumberWithUnit(r.value)) {
      row["number"] = NumberJson(*n);
      row["unit"] = n->unit;
    }
    list.push_back(std::move(row));
  }
  return list;
}

// The values may be the sensor's own text (a serial number, a model
// string): its control bytes are shown, not sent to the terminal.
void PrintRowsText(const PanelRows& rows) {
  size_t width = 0;
  for (const PanelRow& r : rows) width = std::max(width, r.name.size());
  for (const PanelRow& r : rows) {
    if (r.name.empty() && r.value.empty()) {
      std::cout << "\n";
      continue;
    }
    std::cout << r.name << std::string(width - r.name.size() + 2, ' ') << PrintableText(r.value) << "\n";
  }
  std::cout.flush();
}

CliJson ErrorJson(int code, const std::string& message) {
  return {{"error", {{"code", code}, {"message", message}}}};
}

// A text from the sensor (a model string, say) need not be valid UTF-8: its
// bad bytes are replaced rather than ending the program.
void PrintJson(const CliJson& json) {
  std::cout << json.dump(-1, ' ', false, CliJson::error_handler_t::replace) << std::endl;
}

bool AskOnTerminal(const std::string& question) {
  if (!files::StandardInputIsTerminal()) return false;
  std::fprintf(stderr, "%s [y/N] ", question.c_str());
  std::fflush(stderr);
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  for (char& c : answer) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return answer == "y" || answer == "yes";
}
