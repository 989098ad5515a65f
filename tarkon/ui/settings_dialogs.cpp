#include "tarkon/ui/settings_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>
#include <algorithm>
#include <cmath>

#include "tarkon/document/krv02_doc.h"
#include "tarkon/document/numeric_text.h"
#include "tarkon/models/model_table.h"
#include "tarkon/ui/ask_yes_no.h"
#include "tarkon/ui/numeric_edit.h"
#include "tarkon/ui/ui_texts.h"

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

QGroupBox* Group(const QString& title, QWidget* parent, QGridLayout** grid) {
  auto* group = new QGroupBox(title, parent);
  *grid = new QGridLayout(group);
  return group;
}

// The spin control beside a whole-number field: steps its number within
// the values the setting's check accepts.
void AddSpin(QGridLayout* grid, int row, QLineEdit* field, const ModelSettings& settings, const char* name) {
  const SettingField* setting = settings.Row(name);
  if (setting == nullptr) return;
  const std::optional<setting_values::Limits> limits = setting_values::NumericLimits(*setting, settings.EditContext(-1));
  if (!limits) return;
  auto* spin = new QWidget(grid->parentWidget());
  auto* layout = new QHBoxLayout(spin);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  const QString spoken = Q(setting_fields::Spoken(setting->caption));
  for (int step : {1, -1}) {
    auto* b = new QToolButton(spin);
    b->setArrowType(step > 0 ? Qt::UpArrow : Qt::DownArrow);
    b->setAccessibleName(spoken + (step > 0 ? QStringLiteral(" up") : QStringLiteral(" down")));
    b->setAutoRepeat(true);
    QObject::connect(b, &QToolButton::clicked, field, [field, step, limits] {
      double value = 0;
      if (ReadTypedNumber(field->text().toStdString(), &value) != kNumericValid) value = limits->low;
      value = std::clamp(std::trunc(value) + step, limits->low, limits->high);
      field->setText(QString::number(static_cast<long long>(value)));
    });
    layout->addWidget(b);
  }
  grid->addWidget(spin, row, 2);
}

}  // namespace

// --- base -------------------------------------------------------------------------

CCustomSettingsDlg::CCustomSettingsDlg(ModelSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
  setWindowTitle(QStringLiteral("Settings"));
}

void CCustomSettingsDlg::Refresh() {
  if (settings_.LineBusy()) return;  // dropped, not run later
  if (settings_.Refresh()) ShowFields();
  UpdateHints();
}

template <typename Edit>
Edit* CCustomSettingsDlg::AddField(QGridLayout* grid, int row, const char* name, bool showLabel) {
  const QString caption = Q(settings_.Caption(name));
  auto* edit = new Edit(grid->parentWidget());
  if (showLabel) {
    auto* text = new QLabel(caption, grid->parentWidget());
    text->setBuddy(edit);
    grid->addWidget(text, row, 0);
  }
  // A label names the field for a screen reader, without its colon.
  edit->setAccessibleName(showLabel ? QString(caption).remove(QLatin1Char(':')).trimmed() : caption);
  grid->addWidget(edit, row, 1);
  QLabel* unit = nullptr;
  const SettingField* field = settings_.Row(name);
  if (field != nullptr && field->unit != FieldUnit::kNone && !setting_fields::CaptionCarriesUnit(field->caption)) {
    unit = new QLabel(grid->parentWidget());
    grid->addWidget(unit, row, 2);
  }
  hints_.push_back({edit, name, unit});
  awaitingButton_.push_back(edit);
  return edit;
}

QComboBox* CCustomSettingsDlg::AddList(QGridLayout* grid, const char* name, const QString& spokenName) {
  auto* box = new QComboBox(grid->parentWidget());
  ListBinding binding{box, name, {}};
  for (const auto& [text, value] : settings_.Choices(name)) {
    box->addItem(Q(text));
    binding.values.push_back(value);
  }
  box->setCurrentIndex(-1);
  box->setAccessibleName(spokenName);
  lists_.push_back(std::move(binding));
  return box;
}

QPushButton* CCustomSettingsDlg::AddButtonOf(QGridLayout* grid, int row, int column, const char* name) {
  const SettingField* field = settings_.Row(name);
  const std::string caption = field != nullptr && field->button != nullptr ? field->button : name;
  return AddButton(grid, row, column, Q(caption), [this, caption] { return settings_.Press(caption, Take()); });
}

QCheckBox* CCustomSettingsDlg::AddSwitch(QGridLayout* grid, int row, const char* name, const QString& text) {
  auto* box = new QCheckBox(text, grid->parentWidget());
  box->setAccessibleName(text);
  grid->addWidget(box, row, 0);
  switches_.emplace_back(box, name);
  const SettingField* field = settings_.Row(name);
  const std::string caption = field != nullptr && field->button != nullptr ? field->button : name;
  // Each click sends the state the box now has.
  connect(box, &QCheckBox::clicked, this, [this, caption] {
    if (settings_.LineBusy()) {
      ShowFields();  // the box shows what the sensor holds again
      return;
    }
    Show(settings_.Press(caption, Take()));
  });
  return box;
}

void CCustomSettingsDlg::FollowModeList(QComboBox* list) {
  modeList_ = list;
  // Units and accepted ranges follow the mode chosen.
  connect(list, &QComboBox::currentIndexChanged, this, &CCustomSettingsDlg::UpdateHints);
}

FieldTexts CCustomSettingsDlg::Take() const {
  FieldTexts texts;
  for (const FieldHint& h : hints_) texts[h.name] = h.edit->text().toStdString();
  for (const ListBinding& l : lists_) {
    const int entry = l.box->currentIndex();
    texts[l.name] = entry >= 0 && entry < static_cast<int>(l.values.size()) ? l.values[static_cast<size_t>(entry)] : "";
  }
  for (const auto& [box, name] : switches_)
    texts[name] = box->isChecked() ? settings_editing::kEnabled : settings_editing::kDisabled;
  return texts;
}

// A control is set only when it shows something else: setting a field
// anew would move the cursor of a field being typed in, and setting a box
// anew would announce a change that did not happen.
void CCustomSettingsDlg::ShowFields() {
  for (const FieldHint& h : hints_) {
    const QString text = Q(settings_.TypedText(h.name));
    if (h.edit->text() != text) h.edit->setText(text);
  }
  for (const ListBinding& l : lists_) {
    const auto at = std::find(l.values.begin(), l.values.end(), settings_.TypedText(l.name));
    const int entry = at != l.values.end() && !at->empty() ? static_cast<int>(at - l.values.begin()) : -1;
    if (l.box->currentIndex() != entry) l.box->setCurrentIndex(entry);
  }
  for (const auto& [box, name] : switches_) {
    const bool on = settings_.TypedText(name) == settings_editing::kEnabled;
    if (box->isChecked() != on) box->setChecked(on);
  }
}

bool CCustomSettingsDlg::TypedButNotSent() const {
  const FieldTexts& read = settings_.readFields();
  for (const FieldHint& h : hints_) {
    const auto it = read.find(h.name);
    if (h.edit->text().toStdString() != (it != read.end() ? it->second : std::string())) return true;
  }
  return false;
}

int CCustomSettingsDlg::ChosenMode() const { return modeList_ != nullptr ? modeList_->currentIndex() : -1; }

QLabel* CCustomSettingsDlg::unitOf(const QLineEdit* field) const {
  for (const FieldHint& h : hints_)
    if (h.edit == field) return h.unit;
  return nullptr;
}

void CCustomSettingsDlg::UpdateHints() {
  const int mode = ChosenMode();
  for (const FieldHint& h : hints_) {
    h.edit->setToolTip(Q(settings_.RangeHint(h.name, mode)));
    if (h.unit != nullptr) {
      const QString unit = Q(settings_.UnitText(h.name, mode));
      h.unit->setText(unit);
      h.unit->setAccessibleName(h.edit->accessibleName() + QStringLiteral(" unit: ") + unit);
    }
  }
}

void CCustomSettingsDlg::done(int result) {
  if (TypedButNotSent()) {
    if (!AskYesNoDefaultNo(this, std::string(settings_editing::kDiscardQuestion))) return;
    settings_.DiscardTypedFields();
    ShowFields();
  }
  QDialog::done(result);
}

QPushButton* CCustomSettingsDlg::button(const QString& text) const {
  for (QPushButton* b : findChildren<QPushButton*>()) {
    if (b->text() == text) return b;
  }
  return nullptr;
}

void CCustomSettingsDlg::Show(const SetResult& result) {
  const QString status = Q(settings_.ReadBackReport(result));
  if (result.Refused()) {
    QMessageBox box(QMessageBox::Question, ProgramCaption(), Q(settings_.InDialogWords(result.message)),
                    QMessageBox::Ok, this);
    box.exec();
  }
  ShowFields();
  UpdateHints();
  // A button that sent nothing (no entry chosen) leaves no stale report.
  status_->setText(status);
  status_->setAccessibleName(status.isEmpty() ? QStringLiteral("Status") : status);
}

QPushButton* CCustomSettingsDlg::AddButton(QGridLayout* grid, int row, int column, const QString& text,
                                           std::function<SetResult()> press) {
  auto* b = new QPushButton(text, grid->parentWidget());
  b->setAccessibleName(text);
  b->setAutoDefault(false);
  connect(b, &QPushButton::clicked, this, [this, press = std::move(press)] {
    if (settings_.LineBusy()) return;  // dropped, not run later
    Show(press());
  });
  // Enter in a field presses the button of its group.
  for (QLineEdit* edit : awaitingButton_) connect(edit, &QLineEdit::returnPressed, b, &QPushButton::click);
  awaitingButton_.clear();
  grid->addWidget(b, row, column);
  return b;
}

void CCustomSettingsDlg::Finish(QGridLayout* groups) {
  refresh_ = new QPushButton(QStringLiteral("Refresh"), this);
  close_ = new QPushButton(QStringLiteral("Close"), this);
  for (QPushButton* b : {refresh_, close_}) {
    b->setAccessibleName(b->text());
    b->setAutoDefault(false);
  }
  connect(refresh_, &QPushButton::clicked, this, &CCustomSettingsDlg::Refresh);
  connect(close_, &QPushButton::clicked, this, &QDialog::accept);
  status_ = new QLabel(this);
  status_->setWordWrap(true);
  status_->setAccessibleName(QStringLiteral("Status"));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(status_, 1);
  buttons->addWidget(refresh_);
  buttons->addWidget(close_);
  groups->addLayout(buttons, groups->rowCount(), 0, 1, groups->columnCount());
  ShowFields();
  UpdateHints();
}

// --- KRV02 family -----------------------------------------------------------------

CKRV02SettingsDlg::CKRV02SettingsDlg(ModelSettings& s, QWidget* parent) : CCustomSettingsDlg(s, parent) {
  auto* groups = new QGridLayout(this);
  QGridLayout* g = nullptr;

  QGroupBox* mode = Group(QStringLiteral("Scan Mode"), this, &g);
  QComboBox* modes = AddList(g, "Mode", QStringLiteral("Scan Mode"));
  g->addWidget(modes, 0, 0, 1, 2);
  FollowModeList(modes);
  AddButtonOf(g, 0, 2, "Mode");
  groups->addWidget(mode, 0, 0, 1, 2);

  QGroupBox* powers = Group(QStringLiteral("Laser powers"), this, &g);
  AddField<NumericEdit>(g, 0, "Min. Laser Power", false);
  AddButtonOf(g, 0, 2, "Min. Laser Power");
  AddField<NumericEdit>(g, 1, "Max. Laser Power", false);
  AddButtonOf(g, 1, 2, "Max. Laser Power");
  groups->addWidget(powers, 1, 0);

  QGroupBox* offset = Group(QStringLiteral("Range offset"), this, &g);
  AddField<NumericEdit>(g, 0, "Range Offset", true);
  AddField<NumericEdit>(g, 1, "Multiplier", true);
  AddField<NumericEdit>(g, 2, "Cosine", true);
  AddButtonOf(g, 3, 1, "Range Offset");
  groups->addWidget(offset, 2, 0);

  QGroupBox* analog = Group(QStringLiteral("Analog Factors"), this, &g);
  int line = 0;
  for (const char* name : {"Min. Range", "Max. Range", "Min. Volts", "Max. Volts", "Offset", "Out of Range"})
    AddField<NumericEdit>(g, line++, name, true);
  AddButtonOf(g, line, 1, "Min. Range");
  groups->addWidget(analog, 1, 1, 2, 1);

  QGroupBox* threshold = Group(QString(), this, &g);
  NumericEdit* thresholdField = AddField<NumericEdit>(g, 0, "Threshold", false);
  AddSpin(g, 0, thresholdField, s, "Threshold");
  AddButtonOf(g, 0, 3, "Threshold");
  groups->addWidget(threshold, 3, 0);

  QGroupBox* laser = Group(QStringLiteral("Laser"), this, &g);
  g->addWidget(AddList(g, "Laser", QStringLiteral("Laser")), 0, 0, 1, 2);
  AddButtonOf(g, 0, 2, "Laser");
  groups->addWidget(laser, 3, 1);

  QGroupBox* averaging = Group(QString(), this, &g);
  AddField<NumericEdit>(g, 0, "Averaging Period(ms)", false);
  g->addWidget(new QLabel(QStringLiteral("(ms)"), averaging), 0, 2);
  AddButtonOf(g, 0, 3, "Averaging Period(ms)");
  groups->addWidget(averaging, 4, 0);

  QGroupBox* scan = Group(QStringLiteral("Scan Buffer Variables"), this, &g);
  AddField<NumericEdit>(g, 0, "Dropout", true);
  AddField<NumericEdit>(g, 1, "Smooth", true);
  auto* orderLabel = new QLabel(Q(s.Caption("Order")), scan);
  QComboBox* order = AddList(g, "Order", Q(setting_fields::Spoken(s.Caption("Order"))));
  orderLabel->setBuddy(order);
  g->addWidget(orderLabel, 2, 0);
  g->addWidget(order, 2, 1);
  AddButtonOf(g, 3, 1, "Order");
  AddField<NumericEdit>(g, 4, "Scan Interval", true);
  g->addWidget(new QLabel(QStringLiteral("(0.6 x)"), scan), 4, 2);
  AddButtonOf(g, 5, 1, "Scan Interval");
  groups->addWidget(scan, 4, 1, 2, 1);

  Finish(groups);
}

// --- KRV04 family -----------------------------------------------------------------

CKRV04FamilySettingsDlg::CKRV04FamilySettingsDlg(ModelSettings& s, QWidget* parent)
    : CCustomSettingsDlg(s, parent) {
  auto* groups = new QGridLayout(this);
  QGridLayout* g = nullptr;
  QGroupBox* powers = Group(QStringLiteral("Laser powers"), this, &g);
  AddField<NumericEdit>(g, 0, "Min. Laser Power", false);
  AddButtonOf(g, 0, 2, "Min. Laser Power");
  AddField<NumericEdit>(g, 1, "Max. Laser Power", false);
  AddButtonOf(g, 1, 2, "Max. Laser Power");
  groups->addWidget(powers, 0, 0);

  QGroupBox* threshold = Group(QStringLiteral("Threshold"), this, &g);
  NumericEdit* thresholdField = AddField<NumericEdit>(g, 0, "Threshold", false);
  AddSpin(g, 0, thresholdField, s, "Threshold");
  AddButtonOf(g, 0, 3, "Threshold");
  groups->addWidget(threshold, 1, 0);

  // One button per value, each beside its field and captioned as it.
  QGroupBox* analog = Group(QStringLiteral("Analog Factors"), this, &g);
  int line = 0;
  for (const char* name : {"Min. Range", "Max. Range", "Min. Volts", "Max. Volts", "Out of Range"}) {
    AddField<NumericEdit>(g, line, name, false);
    AddButtonOf(g, line++, 0, name);
  }
  groups->addWidget(analog, 0, 1, 2, 1);

  // The groups of the rows this member has besides.
  const int row = 2;
  if (s.Row("Mode") != nullptr) {
    QGroupBox* mode = Group(QStringLiteral("Mode"), this, &g);
    QComboBox* modes = AddList(g, "Mode", QStringLiteral("Mode"));
    g->addWidget(modes, 0, 0, 1, 2);
    FollowModeList(modes);
    AddButtonOf(g, 1, 1, "Mode");
    groups->addWidget(mode, row, 0);
  }
  if (s.Row("Hold Last Valid Range") != nullptr || s.Row("Max samples to hold last range") != nullptr) {
    QGroupBox* hold = Group(QStringLiteral("Hold last range value"), this, &g);
    if (s.Row("Hold Last Valid Range") != nullptr)
      enable_ = AddSwitch(g, 0, "Hold Last Valid Range", QStringLiteral("Enable"));
    if (s.Row("Max samples to hold last range") != nullptr) {
      // The one field of the dialogs that takes any text; the check refuses
      // what is not one number.
      AddField<QLineEdit>(g, 1, "Max samples to hold last range", false);
      AddButtonOf(g, 1, 0, "Max samples to hold last range");
    }
    groups->addWidget(hold, row, 1);
  }
  if (s.Row("Min Wane Width") != nullptr) {
    QGroupBox* wane = Group(QStringLiteral("Wane variables"), this, &g);
    line = 0;
    for (const char* name : {"Min Wane Width", "Min Wane Height", "Pulse duration", "Conveyer Speed", "Board timeout"})
      if (s.Row(name) != nullptr) AddField<NumericEdit>(g, line++, name, true);
    AddButtonOf(g, line, 1, "Min Wane Width");
    groups->addWidget(wane, row, 1, 2, 1);
  }
  if (const SettingField* laserRow = s.Row("Laser"); laserRow != nullptr && laserRow->source == nullptr) {
    // A switch the sensor does not report: two buttons, no list.
    QGroupBox* laser = Group(QStringLiteral("Laser"), this, &g);
    // The fields stay as typed: the switch takes them and reads nothing back.
    for (const bool on : {true, false}) {
      AddButton(g, 0, on ? 0 : 1, on ? QStringLiteral("Laser On") : QStringLiteral("Laser Off"), [this, on] {
        settings().Press(std::string(), Take());
        return settings().SwitchLaser(on);
      });
    }
    groups->addWidget(laser, row + 1, 0);
  }
  Finish(groups);
}

CCustomSettingsDlg* MakeSettingsDialog(CKRV02Doc& doc, QWidget* parent) {
  ModelSettings* settings = doc.currentSettings();
  const ModelEntry* entry = ModelEntryOf(doc.sensor().modelIndex());
  if (!doc.connected() || settings == nullptr || entry == nullptr) return nullptr;
  switch (entry->settingsDialog) {
    case SettingsDialogKind::kKRV02: return new CKRV02SettingsDlg(*settings, parent);
    case SettingsDialogKind::kKRV04: return new CKRV04SettingsDlg(*settings, parent);
    case SettingsDialogKind::kQmtShort: return new CQMTSSettingsDlg(*settings, parent);
    case SettingsDialogKind::kKRV04BoardFlipper: return new CKRV04BFSettingsDlg(*settings, parent);
  }
  return nullptr;
}
