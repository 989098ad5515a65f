#pragma once
// The "Settings" dialogs, one layout per kind of settings dialog that the
// model table names (ModelEntry::settingsDialog):
//
//   CKRV02SettingsDlg    KRV02, Qmt Long
//   CKRV04SettingsDlg    KRV04
//   CQMTSSettingsDlg     Qmt Short
//   CKRV04BFSettingsDlg  KRV04 Board Flipper
//
// The groups are placed by hand; each field, list and Set button binds to
// the row of its setting by name (the engine's rows give its caption,
// unit, tool tip and button caption), and a KRV04 family dialog shows the
// groups of the rows its model has. A button hands the fields, whole, to
// the model's settings operation of that caption, which checks, converts,
// sends and re-reads; the dialog shows a refusal's message in a question
// box and the fields again after it. The setup pane follows each
// successful re-read through the document.

#include <QDialog>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tarkon/models/model_settings.h"

class CKRV02Doc;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class CCustomSettingsDlg : public QDialog {
  Q_OBJECT
 public:
  // "Refresh": the model's re-read; the fields follow when it succeeds and
  // keep their texts when it fails.
  void Refresh();
  QPushButton* refreshButton() const { return refresh_; }
  QPushButton* closeButton() const { return close_; }
  // A button of this dialog by its caption (null if none).
  QPushButton* button(const QString& text) const;
  // What the last button did: the values the sensor now holds, or why
  // nothing was sent. Its accessible name carries the same text.
  QLabel* statusText() const { return status_; }
  // The unit shown beside a field (null when it has none).
  QLabel* unitOf(const QLineEdit* field) const;

  // Closing (Close, Escape, the window's close box) with typed values never
  // sent asks whether to discard them; No keeps the dialog open. Nothing is
  // sent on closing either way.
  void done(int result) override;

 protected:
  CCustomSettingsDlg(ModelSettings& settings, QWidget* parent);

  // A labelled numeric field for the setting `name` (its caption from its
  // row): a unit beside it when its caption does not carry one, a tool tip
  // with the values its check accepts, and Enter pressing the next button
  // added (the field's "Set" button).
  template <typename Edit>
  Edit* AddField(QGridLayout* grid, int row, const char* name, bool showLabel);
  // The list of a setting chosen from its entries (the row's choices).
  QComboBox* AddList(QGridLayout* grid, const char* name, const QString& spokenName);
  // The button that writes `name` (its caption from the row); Enter in the
  // fields added since the last button presses it.
  QPushButton* AddButtonOf(QGridLayout* grid, int row, int column, const char* name);
  // A button that runs `press` and shows its result.
  QPushButton* AddButton(QGridLayout* grid, int row, int column, const QString& text,
                         std::function<SetResult()> press);
  // A check box that writes the setting `name` at each click (its row's button).
  QCheckBox* AddSwitch(QGridLayout* grid, int row, const char* name, const QString& text);
  // Adds the status line, "Refresh" and "Close" under the groups, and shows the fields.
  void Finish(QGridLayout* groups);
  // Units and tool tips for the mode now chosen.
  void UpdateHints();
  // The mode list's own choice, which units and checks follow.
  void FollowModeList(QComboBox* list);
  ModelSettings& settings() const { return settings_; }
  // The fields as the controls show them.
  FieldTexts Take() const;

 private:
  struct FieldHint {
    QLineEdit* edit;
    std::string name;
    QLabel* unit;
  };
  struct ListBinding {
    QComboBox* box;
    std::string name;
    std::vector<std::string> values;  // the value each entry stands for
  };
  // The fields as the settings object holds them.
  void ShowFields();
  bool TypedButNotSent() const;
  int ChosenMode() const;
  // After a button: a refusal's message in a question box, in the dialog's
  // words; then the fields as the settings object now holds them, and what
  // the sensor reported back.
  void Show(const SetResult& result);

  ModelSettings& settings_;
  std::vector<FieldHint> hints_;
  std::vector<ListBinding> lists_;
  std::vector<std::pair<QCheckBox*, std::string>> switches_;
  std::vector<QLineEdit*> awaitingButton_;
  QComboBox* modeList_ = nullptr;
  QLabel* status_ = nullptr;
  QPushButton* refresh_ = nullptr;
  QPushButton* close_ = nullptr;
};

class CKRV02SettingsDlg : public CCustomSettingsDlg {
  Q_OBJECT
 public:
  explicit CKRV02SettingsDlg(ModelSettings& settings, QWidget* parent = nullptr);
};

// The laser power, threshold and analog groups every KRV04 family member
// has, then the groups of the rows its model has besides: its mode, the
// hold of the last valid range, the wane variables, the laser switch.
class CKRV04FamilySettingsDlg : public CCustomSettingsDlg {
  Q_OBJECT
 public:
  explicit CKRV04FamilySettingsDlg(ModelSettings& settings, QWidget* parent = nullptr);
  // The "Enable" box of "Hold last range value" (null when the model has none).
  QCheckBox* enableBox() const { return enable_; }

 private:
  QCheckBox* enable_ = nullptr;
};

class CKRV04SettingsDlg : public CKRV04FamilySettingsDlg {
  Q_OBJECT
 public:
  using CKRV04FamilySettingsDlg::CKRV04FamilySettingsDlg;
};

class CQMTSSettingsDlg : public CKRV04FamilySettingsDlg {
  Q_OBJECT
 public:
  using CKRV04FamilySettingsDlg::CKRV04FamilySettingsDlg;
};

class CKRV04BFSettingsDlg : public CKRV04FamilySettingsDlg {
  Q_OBJECT
 public:
  using CKRV04FamilySettingsDlg::CKRV04FamilySettingsDlg;
};

// The settings dialog the model table names for the connected model, or
// null when none is connected.
CCustomSettingsDlg* MakeSettingsDialog(CKRV02Doc& doc, QWidget* parent);
