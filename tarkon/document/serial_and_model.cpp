#include "tarkon/document/serial_and_model.h"

#include <cstring>
#include <utility>

#include "tarkon/models/model_table.h"

namespace {

// Text, NUL, zeros: at most 15 characters so the field always ends in NUL.
void TextField(const std::string& text, uint8_t field[16]) {
  std::memset(field, 0, 16);
  for (size_t i = 0; i < text.size() && i < SerialAndModel::kMaxSerialChars && text[i] != 0; ++i) {
    field[i] = static_cast<uint8_t>(text[i]);
  }
}

}  // namespace

SerialAndModel::SerialAndModel(SensorCommands& commands, std::function<bool()> allowed, Recorder recorded)
    : commands_(commands), allowed_(std::move(allowed)), recorded_(std::move(recorded)) {
  for (const ModelStringEntry& row : ModelStringTable()) {
    entries_.push_back(
        Entry{std::string(row.modelString) + " [" + ModelDisplayName(row.modelIndex) + "]",
              row.modelString});
  }
}

void SerialAndModel::Select(int index) {
  selection_ = index >= 0 && static_cast<size_t>(index) < entries_.size() ? index : -1;
}

std::string SerialAndModel::SelectModelString(const std::string& modelString) {
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].value == modelString) {
      Select(static_cast<int>(i));
      return std::string();
    }
  }
  std::string known;
  for (const Entry& e : entries_) known += "\n  " + e.text;
  return "not a model string of the table:" + known;
}

bool SerialAndModel::Refresh() {
  if (!Allowed()) return false;
  selection_ = -1;
  serialText_.clear();
  if (!commands_.GetModelName() || !commands_.GetSerialNum()) return false;
  std::string model = ReplyText(commands_.modelName, sizeof commands_.modelName);
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].value == model) {
      selection_ = static_cast<int>(i);
      break;
    }
  }
  serialText_ = ReplyText(commands_.serialNumber, sizeof commands_.serialNumber);
  return true;
}

void SerialAndModel::ModelNameField(const std::string& text, uint8_t field[16]) {
  TextField(text, field);
}

void SerialAndModel::SerialNumberField(const std::string& text, uint8_t field[16]) {
  TextField(text, field);
}

bool SerialAndModel::SetModelName() {
  if (selection_ < 0 || !Allowed()) return false;
  uint8_t field[16];
  const std::string sent = entries_[static_cast<size_t>(selection_)].value;
  ModelNameField(sent, field);
  const std::string before = ReplyText(commands_.modelName, sizeof commands_.modelName);
  bool ok = commands_.SetModelName(field) != 0;
  const bool reread = Refresh();
  if (recorded_)
    recorded_("Model string", before, sent, ok,
              reread && ReplyText(commands_.modelName, sizeof commands_.modelName) == sent);
  return ok;
}

bool SerialAndModel::SetSerialNumber() {
  if (!Allowed()) return false;
  uint8_t field[16];
  SerialNumberField(serialText_, field);
  const std::string sent = ReplyText(field, sizeof field);
  const std::string before = ReplyText(commands_.serialNumber, sizeof commands_.serialNumber);
  bool ok = commands_.SetSerialNum(field) != 0;
  const bool reread = Refresh();
  if (recorded_) recorded_("Serial number", before, sent, ok, reread && serialText_ == sent);
  return ok;
}
