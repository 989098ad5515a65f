#pragma once
// The settings of the connected sensor as its model stores them: the read
// sequence, where each value sits in the replies, how it is shown, the list
// for the setup pane and the mode list. One object per settings dialog; the
// document owns four and hands the connected model's one to the dialog, the
// setup pane and the command-line tool.

#include <cstdint>
#include <functional>
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


class ModelSettings {
 public:
  // The connected model's index (the KRV02 object serves KRV02 and Qmt Long).
  using ModelGetter = std::function<int()>;
  // Called after each successful re-read: the sensor state changed.
  using StateChanged = std::function<void()>;

  ModelSettings(SensorCommands& commands, const RangeModeTable& modes, ModelGetter model,
                StateChanged changed);
  virtual ~ModelSettings() = default;
  ModelSettings(const ModelSettings&) = delete;
  ModelSettings& operator=(const ModelSettings&) = delete;

  // Reads the model's settings, each command only after the previous one
  // succeeded. When all succeed: the displayed values and fields are
  // rebuilt, the command object talks to the address the sensor reported,
  // and the state-changed callback runs. When one fails (it logs its own
  // line) nothing displayed changes and false is returned.
  virtual bool Refresh() = 0;

  // Forgets everything read (at connect): no values, empty fields, an empty
  // summary, and record writes refused until the next successful Refresh.
  virtual void Clear();
  bool HasValues() const { return hasValues_; }

  // The document's line-busy gate: while it says busy (another exchange is
  // pending while the window's loop runs, a transfer holds the line), a
  // front end refuses the dialog's buttons and its "Refresh"; a press then
  // is dropped, never run later. Not busy when no gate was given.
  void SetLineBusy(std::function<bool()> busy) { lineBusy_ = std::move(busy); }
  bool LineBusy() const { return lineBusy_ && lineBusy_(); }

  // Display names and texts of the values last read, in the model's order
  // (the board flipper's wane rows after one empty row). Empty before the
  // first successful Refresh after Clear.
  void Summary(std::vector<std::string>& names, std::vector<std::string>& values) const;
  // Text of one summary row by display name; empty when there is none.
  std::string DisplayedValue(const std::string& name) const;

  // Texts of the model's mode selection (empty when the model has none).
  virtual std::vector<std::string> ModeTexts() const = 0;

  // Names that ChangeSetting takes: the summary's names of values that the
  // dialog can write.
  virtual std::vector<std::string> SettingNames() const = 0;

  // The name of SettingNames that `typed` gives, exactly or failing that in
  // any letter case; empty when it gives none.
  std::string KnownSettingName(const std::string& typed) const;
  // Why `typed` names no setting to change: the serial number is not one
  // (it is written in manufacturing mode), any other unknown name gets the
  // list of the model's names. Empty when it names one.
  std::string SettingNameRefusal(const std::string& typed) const;

  // Changes one setting by its display name, with the value typed in
  // display units ("Mode" takes a mode number, switches "On"/"Off" or
  // "Enabled"/"Disabled"). A numeric setting's value must be exactly one
  // number, as the dialog's numeric field would let it be typed (else the
  // field's message). The dialog group's other fields keep the values
  // last read; the group's button then runs with its check, conversion,
  // commands and re-read. On success `value` holds the setting as re-read.
  SetResult ChangeSetting(const std::string& name, const std::string& value);

  // The settings dialog's laser button with the other fields as last read:
  // the KRV02 family's "Set Laser" (then read back), the board flipper's
  // "Laser On" / "Laser Off" (not reported back). A model whose dialog has
  // no laser switch refuses, and nothing is sent.
  virtual SetResult SwitchLaser(bool on);

  // --- The dialog's words ---------------------------------------------------
  // The dialog's table of fields (setting_fields.h).
  virtual const std::vector<SettingField>& Fields() const = 0;
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
  // list ("inch", "mm", "V"); empty when the caption carries it or the
  // value has none.
  std::string UnitText(const std::string& name, int chosenMode) const;
  // The values the field's check accepts with `chosenMode` chosen, e.g.
  // "0 to 255" or "0.000 inch to 8.000 inch"; empty when it has no check.
  virtual std::string RangeHint(const std::string& name, int chosenMode) const = 0;
  // Closing without sending: the fields go back to the values last read.
  virtual void DiscardTypedFields() = 0;

  SensorCommands& commands() const { return commands_; }
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
  using SummaryRows = std::vector<std::pair<std::string, std::string>>;

  int ConnectedModel() const;
  // After a successful read: keep the new rows, talk to the reported
  // address, tell the document.
  void Publish(SummaryRows rows, uint8_t address);
  // Runs the re-read that follows a button and marks the outcome.
  SetResult Sent(bool reread);
  // The re-read after a button that wrote the settings `written` (display
  // names), which the result then names for ReadBackReport.
  SetResult ReReadAfterSending(std::vector<std::string> written = {});
  // Refresh after a write, unless that write found the port gone: the
  // connection is closed then, and a read would go to a closed port.
  bool ReadBackAfterWrite();
  // The text of a setting's field in the fields the last button took;
  // empty for a setting chosen from a list or switched.
  virtual std::string TypedText(const std::string& name) const = 0;
  // The row that converts ranges with `chosenMode` chosen in the dialog.
  virtual const RangeModeRow& RowOfChosenMode(int chosenMode) const = 0;
  // The per-model part of ChangeSetting: fill the field of `name` in the
  // fields last read and run its group's button. An unknown name gives a
  // refusal naming it.
  virtual SetResult ChangeByName(const std::string& name, const std::string& value) = 0;
  // Settings typed as a word ("On"/"Off", "Enabled"/"Disabled"); every other
  // one is a numeric field and takes exactly one number.
  virtual bool TakesWord(const std::string& /*name*/) const { return false; }
  static SetResult Refusal(std::string message);
  static SetResult UnknownName(const std::string& name);

 private:
  SensorCommands& commands_;
  const RangeModeTable& modes_;
  ModelGetter model_;
  StateChanged changed_;
  std::function<bool()> lineBusy_;
  SummaryRows rows_;
  bool hasValues_ = false;
  WriteObserver observer_;
};
