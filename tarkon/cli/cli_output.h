#pragma once
// What tarkon-cli prints: name/value rows for a person, and the same as JSON
// (nlohmann, members in the order given) for scripts.

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

#include "tarkon/document/live_panels.h"

using CliJson = nlohmann::ordered_json;

// A display text as a number with its unit: "1.539 inch" -> 1.539, "inch";
// "60" -> 60, ""; texts such as "Out of Range", "Disabled" or a mode's text
// give nothing.
struct NumberWithUnit {
  double number = 0;
  bool whole = false;  // written without a decimal point: a JSON integer
  std::string unit;
};
// The number as JSON: an integer for a whole-number text, else a real.
CliJson NumberJson(const NumberWithUnit& n);
std::optional<NumberWithUnit> ReadNumberWithUnit(const std::string& text);

// Blanks around a text removed (names and texts in JSON only; the terminal
// shows the texts as they are).
std::string TrimmedText(const std::string& text);

// A question on the terminal, answered "y" or "yes" (any case) for yes;
// anything else, end of input or no terminal means no.
bool AskOnTerminal(const std::string& question);

// Rows as [{"name", "value", "number", "unit"}...] without the empty
// separator rows.
CliJson RowsJson(const PanelRows& rows);
// Rows aligned in two columns; an empty row stays an empty line.
void PrintRowsText(const PanelRows& rows);
// {"error": {"code": code, "message": message}}
CliJson ErrorJson(int code, const std::string& message);
// One JSON document on one line of standard output.
void PrintJson(const CliJson& json);
