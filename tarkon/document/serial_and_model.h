#pragma once
// The serial-number-and-model dialog of manufacturing mode: a list of the
// model strings, a serial number field, and the commands that write them
// to the sensor, each followed by a refresh from the sensor.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "protocol/sensor_commands.h"

class SerialAndModel {
 public:
  struct Entry {
    std::string text;   // model string, " [", display name, "]"
    std::string value;  // the model string
  };

  // One entry per model string, in table order. Nothing is sent yet: the
  // dialog calls Refresh() when it opens. `allowed` says whether the
  // document lets the commands go out now (manufacturing mode, connected,
  // the line free); without it they always may.
  // `recorded` hears of each write: the setting, the value before and the
  // one sent, whether it went out and whether the sensor reports it back.
  using Recorder = std::function<void(const std::string& setting, const std::string& before, const std::string& sent,
                                      bool wentOut, bool reportedBack)>;
  explicit SerialAndModel(SensorCommands& commands, std::function<bool()> allowed = {}, Recorder recorded = {});

  const std::vector<Entry>& entries() const { return entries_; }
  // Index of the chosen entry, -1 for none.
  int selection() const { return selection_; }
  void Select(int index);
  // Chooses the entry of this model string (exactly as the table spells
  // it). Empty when chosen, else the refusal with the table's entries.
  std::string SelectModelString(const std::string& modelString);
  // The serial number field.
  const std::string& serialText() const { return serialText_; }
  void SetSerialText(std::string text) { serialText_ = std::move(text); }

  // Clears selection and field, asks GetModelName then GetSerialNum (both
  // logging their failures); on success chooses the entry of the reported
  // model string (none if no entry matches exactly) and shows the reported
  // serial number. False if either command failed. Each of the three sends
  // nothing and returns false while the document does not allow it.
  bool Refresh();
  // "Set Model Name": the chosen entry's model string in a 16-byte field
  // (text, NUL, the rest zero), then Refresh. Without a chosen entry nothing
  // is sent and the result is false. Returns SetModelName's result.
  bool SetModelName();
  // "Set Serial Number": at most kMaxSerialChars characters of the field,
  // NUL, the rest zero, then Refresh. Returns SetSerialNum's result.
  static constexpr size_t kMaxSerialChars = 15;
  bool SetSerialNumber();

  // The 16-byte fields as sent.
  static void ModelNameField(const std::string& text, uint8_t field[16]);
  static void SerialNumberField(const std::string& text, uint8_t field[16]);

 private:
  bool Allowed() const { return !allowed_ || allowed_(); }

  SensorCommands& commands_;
  std::function<bool()> allowed_;
  Recorder recorded_;
  std::vector<Entry> entries_;
  int selection_ = -1;
  std::string serialText_;
};
