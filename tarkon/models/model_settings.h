#pragma once
// The settings of the connected sensor as its model's rows describe them
// (setting_fields.h): the read sequence (the queries the rows name, in
// their order), the list for the setup pane, the fields of the settings
// dialog, and every button: the rows it writes are read from the fields,
// checked, converted, sent by their command (a record with the bytes no
// field shows as last read) and read back. One object per family record;
// the document owns one for each and hands the connected model's one to
// the dialog, the setup pane and the command-line tool.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "history/change_history.h"
#include "protocol/sensor_commands.h"
#include "tarkon/document/range_mode_table.h"
#include "tarkon/document/display_forms.h"
#include "tarkon/document/settings_editing.h"
#include "tarkon/models/model_index.h"
#include "tarkon/models/setting_fields.h"
#include "tarkon/models/setting_values.h"

// The dialog's fields by setting name: a typed text in display units, or
// the value a choice stands for ("3" for a mode, "On", "Enabled", an order
// factor; empty when no entry is chosen).
using FieldTexts = std::map<std::string, std::string>;

class ModelSettings {
 public:
  // The connected model's index (the KRV02 object serves KRV02 and Qmt Long).
  using ModelGetter = std::function<int()>;
  // Called after each successful re-read: the sensor state changed.
  using StateChanged = std::function<void()>;

  // `rows`: the model's settings in the setup pane's order (static
  // storage); the sensor's address byte sits in the reply `addressSource`
  // at `addressOffset`.
  ModelSettings(SensorCommands& commands, const RangeModeTable& modes, ModelGetter model, StateChanged changed,
                const std::vector<SettingField>& rows, const char* addressSource, size_t addressOffset);
  virtual ~ModelSettings() = default;
  ModelSettings(const ModelSettings&) = delete;
  ModelSettings& operator=(const ModelSettings&) = delete;

  // Reads the model's settings, each query only after the previous one
  // succeeded. When all succeed: the displayed values and fields are
  // rebuilt, the command object talks to the address the sensor reported,
  // and the state-changed callback runs. When one fails (it logs its own
  // line) nothing displayed changes and false is returned.
  bool Refresh();

  // Forgets everything read (at connect): no values, empty fields, an empty
  // summary, and record writes refused until the next successful Refresh.
  void Clear();
  bool HasValues() const { return hasValues_; }

  // The document's line-busy gate: while it says busy (another exchange is
  // pending while the window's loop runs, a transfer holds the line), a
  // front end refuses the dialog's buttons and its "Refresh"; a press then
  // is dropped, never run later. Not busy when no gate was given.
  void SetLineBusy(std::function<bool()> busy) { lineBusy_ = std::move(busy); }
  bool LineBusy() const { return lineBusy_ && lineBusy_(); }

  // Display names and texts of the values last read, in the model's order
  // (a row that asks for it set apart by one empty row). Empty before the
  // first successful Refresh after Clear.
  void Summary(std::vector<std::string>& names, std::vector<std::string>& values) const;
  // Text of one summary row by display name; empty when there is none.
  std::string DisplayedValue(const std::string& name) const;

  // Texts of the model's mode selection (empty when the model has none).
  std::vector<std::string> ModeTexts() const;

  // Names that ChangeSetting takes: the settings the sensor reports.
  std::vector<std::string> SettingNames() const;

  // The name of SettingNames that `typed` gives, exactly or failing that in
  // any letter case; empty when it gives none.
  std::string KnownSettingName(const std::string& typed) const;
  // Why `typed` names no setting to change: the serial number is not one
  // (it is written in manufacturing mode), any other unknown name gets the
  // list of the model's names. Empty when it names one.
  std::string SettingNameRefusal(const std::string& typed) const;

  // Changes one setting by its display name, with the value typed in
  // display units (see setting_values.h for what a value may be). The
  // dialog group's other fields keep the values last read; the group's
  // button then runs with its check, conversion, commands and re-read. On
  // success `value` holds the setting as re-read.
  SetResult ChangeSetting(const std::string& name, const std::string& value);

  // The settings dialog's laser switch with the other fields as last read:
  // the KRV02 family's "Set Laser" (then read back), the board flipper's
  // "Laser On" / "Laser Off" (not reported back). A model without a laser
  // switch refuses, and nothing is sent.
  SetResult SwitchLaser(bool on);

  // --- The dialog ---------------------------------------------------------------
  // The model's rows.
  const std::vector<SettingField>& Fields() const { return rows_; }
  const SettingField* Row(const std::string& name) const { return setting_fields::Find(rows_, name); }
  // The fields as the user left them (after the last button), and as the
  // last re-read wrote them.
  const FieldTexts& typedFields() const { return typed_; }
  const FieldTexts& readFields() const { return read_; }
  // The text of a setting's field in the fields the last button took.
  std::string TypedText(const std::string& name) const;
  // The entries of a setting chosen from a list: the text each shows and
  // the value it stands for.
  std::vector<std::pair<std::string, std::string>> Choices(const std::string& name) const;
  // A button of the dialog by its caption, with the fields as the user
  // left them: the rows it writes are checked, converted, sent and read
  // back (see SetResult). A caption that writes nothing sends nothing.
  SetResult Press(const std::string& button, const FieldTexts& fields);
  // The captions of the buttons that write settings, in the rows' order.
  std::vector<std::string> Buttons() const;
  // Closing without sending: the fields go back to the values last read.
  void DiscardTypedFields() { typed_ = read_; }

  // The caption of a setting's field, word for word; the name itself when
  // the dialog has none.
  std::string Caption(const std::string& name) const;
  // A refusal as the dialog words it: a message that opens with a
  // setting's name opens with the field's caption instead ("Max. Volts must
  // be ..." is "Volts @ Maximum must be ..." in the KRV04 dialogs).
  std::string InDialogWords(const std::string& message) const;
  // What the sensor holds after a button, in the dialog's words:
  // "Threshold: 55, read back"; a value the sensor does not report is
  // "sent, not reported by the sensor", and a failed re-read says so. A
  // refusal is "Not sent: " and the refusal in the dialog's words. Empty
  // when nothing was sent for another reason (no entry chosen).
  std::string ReadBackReport(const SetResult& result) const;
  // The unit beside a field with `chosenMode` chosen in the dialog's mode
  // list ("inch", "mm", "V", "ms"); empty for a count or a choice.
  std::string UnitText(const std::string& name, int chosenMode) const;
  // The values the field's check accepts with `chosenMode` chosen, e.g.
  // "0 to 255" or "0.000 inch to 8.000 inch".
  std::string RangeHint(const std::string& name, int chosenMode) const;
  // The unit of a value as last read (in the sensor's range mode).
  std::string ValueUnit(const std::string& name) const;
  // Whether the sensor, as last read, holds exactly what `text` typed into
  // the setting's field would send (the same reading as the write's).
  bool HoldsTyped(const std::string& name, const std::string& text) const;

  // The conversion context of the values as read (the sensor's range
  // mode), and of typed values with `chosenMode` chosen in the dialog (a
  // model without a mode list: its one mode).
  SettingContext ShownContext() const;
  SettingContext EditContext(int chosenMode) const;

  // A setting's bytes as the last re-read left them (what a backup keeps
  // and a restore compares); empty when the row names no reply.
  std::vector<uint8_t> ReadBytes(const SettingField& row) const;
  const RangeModeTable& modes() const { return modes_; }

  // What became of one setting a button wrote (after its re-read), or of a
  // change by name that a check refused: the history's line of it.
  struct WriteRecord {
    std::string name;
    std::string before;  // the value shown before the write
    std::string after;   // the value re-read (the typed value for a refusal)
    history::Outcome outcome = history::Outcome::kNotVerified;
  };
  using WriteObserver = std::function<void(const WriteRecord&)>;
  // The document records every write through this.
  void SetWriteObserver(WriteObserver observer) { observer_ = std::move(observer); }

 protected:
  int ConnectedModel() const;
  static SetResult Refusal(std::string message);
  static SetResult UnknownName(const std::string& name);

 private:
  using SummaryRows = std::vector<std::pair<std::string, std::string>>;
  struct Sent {
    const SettingField* row;
    int64_t raw;
    bool exact;  // the raw value is exactly the typed one
  };

  bool HasModeRow() const { return Row("Mode") != nullptr; }
  int ChosenMode() const;
  // Sends the rows of one button with the fields in typed_.
  SetResult Write(const std::vector<const SettingField*>& rows);
  // The re-read after the writes, the outcome of each and its history line.
  SetResult ReReadAfterSending(const std::vector<Sent>& sent);
  // Refresh after a write, unless that write found the port gone: the
  // connection is closed then, and a read would go to a closed port.
  bool ReadBackAfterWrite();
  void Publish(SummaryRows rows, uint8_t address);

  SensorCommands& commands_;
  const RangeModeTable& modes_;
  ModelGetter model_;
  StateChanged changed_;
  const std::vector<SettingField>& rows_;
  const char* addressSource_;
  size_t addressOffset_;
  std::function<bool()> lineBusy_;
  SummaryRows summary_;
  FieldTexts typed_;
  FieldTexts read_;
  bool hasValues_ = false;
  WriteObserver observer_;
};
