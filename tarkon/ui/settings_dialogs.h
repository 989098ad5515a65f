#pragma once
// The four "Settings" dialogs, one per settings model of the document:
//
//   CKRV02SettingsDlg    KRV02, Qmt Long
//   CKRV04SettingsDlg    KRV04
//   CQMTSSettingsDlg     Qmt Short
//   CKRV04BFSettingsDlg  KRV04 Board Flipper
//
// A dialog shows the fields its settings object holds (the texts of the
// last re-read, or what the user last typed) and binds each button to the
// object's operation of the same name. The operation checks, converts,
// sends and re-reads; the dialog only takes the fields from its controls
// before it, shows a refusal's message in a question box, and shows the
// fields again after it. The setup pane follows each successful re-read
// through the document.

#include <QDialog>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tarkon/document/settings_editing.h"
#include "ui_common/field_binding.h"

class CKRV02Doc;
class ModelSettings;
class KRV02Settings;
class KRV04FamilySettings;
class KRV04Settings;
class KRV04BFSettings;
class QmtShortSettings;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
struct KRV02Fields;
struct KRV04Fields;

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

  virtual bool Reread() = 0;
  virtual void ShowFields() = 0;
  // True when a field's text differs from the value last read.
  virtual bool TypedButNotSent() const = 0;
  // The mode chosen in the dialog's mode list (-1 without one).
  virtual int ChosenMode() const { return -1; }
  // After a button: a refusal's message in a question box, in the dialog's
  // words; then the fields as the settings object now holds them, and what
  // the sensor reported back.
  void Show(const SetResult& result);
  // A labelled numeric field for the setting `name` (its caption from the
  // engine's table): a unit beside it when its caption has none, a tool tip
  // with the values its check accepts, and Enter pressing the next button
  // added (the field's "Set" button).
  template <typename Edit>
  Edit* AddField(QGridLayout* grid, int row, const char* name, bool showLabel);
  // A button that runs `press` and shows its result; Enter in the fields
  // added since the last button presses it.
  QPushButton* AddButton(QGridLayout* grid, int row, int column, const QString& text,
                         std::function<SetResult()> press);
  // Adds the status line, "Refresh" and "Close" under the groups, and shows the fields.
  void Finish(QGridLayout* groups);
  // Units and tool tips for the mode now chosen.
  void UpdateHints();

 private:
  struct FieldHint {
    QLineEdit* edit;
    std::string name;
    QLabel* unit;
  };
  ModelSettings& settings_;
  std::vector<FieldHint> hints_;
  std::vector<QLineEdit*> awaitingButton_;
  QLabel* status_ = nullptr;
  QPushButton* refresh_ = nullptr;
  QPushButton* close_ = nullptr;
};

class CKRV02SettingsDlg : public CCustomSettingsDlg {
  Q_OBJECT
 public:
  CKRV02SettingsDlg(KRV02Settings& settings, QWidget* parent = nullptr);

 protected:
  bool Reread() override;
  void ShowFields() override;
  bool TypedButNotSent() const override;
  int ChosenMode() const override;

 private:
  KRV02Fields Take() const;
  KRV02Settings& settings_;
  ui_common::FieldBinding<KRV02Fields> bind_;
  QComboBox* mode_ = nullptr;
};

// The laser power, threshold and analog groups the KRV04 family shares.
class CKRV04FamilySettingsDlg : public CCustomSettingsDlg {
  Q_OBJECT
 protected:
  CKRV04FamilySettingsDlg(KRV04FamilySettings& settings, QWidget* parent);
  bool Reread() override;
  void ShowFields() override;
  bool TypedButNotSent() const override;
  int ChosenMode() const override;
  KRV04Fields Take() const;
  // Adds the three shared groups to the grid, from `row`; returns the next row.
  int AddSharedGroups(QGridLayout* groups, int row);
  // The "Mode" group with its list and "Set Mode".
  QGroupBox* ModeGroup(const std::vector<std::string>& texts, std::function<SetResult(const KRV04Fields&)> setMode);

  KRV04FamilySettings& family_;
  ui_common::FieldBinding<KRV04Fields> bind_;
  QComboBox* mode_ = nullptr;
};

class CKRV04SettingsDlg : public CKRV04FamilySettingsDlg {
  Q_OBJECT
 public:
  CKRV04SettingsDlg(KRV04Settings& settings, QWidget* parent = nullptr);
  QCheckBox* enableBox() const { return enable_; }

 private:
  QCheckBox* enable_ = nullptr;
};

class CQMTSSettingsDlg : public CKRV04FamilySettingsDlg {
  Q_OBJECT
 public:
  CQMTSSettingsDlg(QmtShortSettings& settings, QWidget* parent = nullptr);
};

class CKRV04BFSettingsDlg : public CKRV04FamilySettingsDlg {
  Q_OBJECT
 public:
  CKRV04BFSettingsDlg(KRV04BFSettings& settings, QWidget* parent = nullptr);
};

// The settings dialog of the connected model, or null when none is
// connected.
CCustomSettingsDlg* MakeSettingsDialog(CKRV02Doc& doc, QWidget* parent);
