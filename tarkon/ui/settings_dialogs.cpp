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

#include "tarkon/document/krv02_doc.h"
#include "tarkon/models/krv02/krv02_settings.h"
#include "tarkon/models/krv04/krv04_settings.h"
#include "tarkon/models/qmt_short/qmt_short_settings.h"
#include "tarkon/models/krv04bf/krv04bf_settings.h"
#include "tarkon/document/number_reading.h"
#include "tarkon/ui/ask_yes_no.h"
#include "tarkon/ui/numeric_edit.h"
#include "tarkon/ui/ui_texts.h"

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

QComboBox* AddList(QGridLayout* grid, int row, const std::vector<std::string>& texts, const QString& spokenName) {
  auto* box = new QComboBox(grid->parentWidget());
  for (const std::string& t : texts) box->addItem(Q(t));
  box->setCurrentIndex(-1);
  box->setAccessibleName(spokenName);
  grid->addWidget(box, row, 0, 1, 2);
  return box;
}

// The threshold field's spin control: steps the field's whole number
// within 0..255.
void AddThresholdSpin(QGridLayout* grid, int row, QLineEdit* field) {
  auto* spin = new QWidget(grid->parentWidget());
  auto* layout = new QHBoxLayout(spin);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  for (int step : {1, -1}) {
    auto* b = new QToolButton(spin);
    b->setArrowType(step > 0 ? Qt::UpArrow : Qt::DownArrow);
    b->setAccessibleName(step > 0 ? QStringLiteral("Threshold up") : QStringLiteral("Threshold down"));
    b->setAutoRepeat(true);
    QObject::connect(b, &QToolButton::clicked, field, [field, step] {
      int value = ReadWholeNumber(field->text().toStdString()) + step;
      value = std::max(settings_editing::kThresholdLow, std::min(settings_editing::kThresholdHigh, value));
      field->setText(QString::number(value));
    });
    layout->addWidget(b);
  }
  grid->addWidget(spin, row, 2);
}

QGroupBox* Group(const QString& title, QWidget* parent, QGridLayout** grid) {
  auto* group = new QGroupBox(title, parent);
  *grid = new QGridLayout(group);
  return group;
}

}  // namespace

// --- base -------------------------------------------------------------------------

CCustomSettingsDlg::CCustomSettingsDlg(ModelSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
  setWindowTitle(QStringLiteral("Settings"));
}

void CCustomSettingsDlg::Refresh() {
  if (settings_.LineBusy()) return;  // dropped, not run later
  if (Reread()) ShowFields();
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
  const SettingField* field = setting_fields::Find(settings_.Fields(), name);
  if (field != nullptr && field->unit != FieldUnit::kNone) {
    unit = new QLabel(grid->parentWidget());
    grid->addWidget(unit, row, 2);
  }
  hints_.push_back({edit, name, unit});
  awaitingButton_.push_back(edit);
  return edit;
}

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
}

// --- KRV02 family -----------------------------------------------------------------

CKRV02SettingsDlg::CKRV02SettingsDlg(KRV02Settings& settings, QWidget* parent)
    : CCustomSettingsDlg(settings, parent), settings_(settings) {
  auto* groups = new QGridLayout(this);
  KRV02Settings& s = settings_;
  QGridLayout* g = nullptr;

  QGroupBox* mode = Group(QStringLiteral("Scan Mode"), this, &g);
  mode_ = AddList(g, 0, s.ModeTexts(), QStringLiteral("Scan Mode"));
  bind_.Choice(mode_, &KRV02Fields::scanMode);
  // Units and accepted ranges follow the mode chosen.
  connect(mode_, &QComboBox::currentIndexChanged, this, &CKRV02SettingsDlg::UpdateHints);
  AddButton(g, 0, 2, QStringLiteral("Set Mode"), [this] { return settings_.SetMode(Take()); });
  groups->addWidget(mode, 0, 0, 1, 2);

  QGroupBox* powers = Group(QStringLiteral("Laser powers"), this, &g);
  bind_.Text(AddField<NumericEdit>(g, 0, "Min. Laser Power", false), &KRV02Fields::minLaserPower);
  AddButton(g, 0, 2, QStringLiteral("Set Min."), [this] { return settings_.SetMinLaserPower(Take()); });
  bind_.Text(AddField<NumericEdit>(g, 1, "Max. Laser Power", false), &KRV02Fields::maxLaserPower);
  AddButton(g, 1, 2, QStringLiteral("Set Max"), [this] { return settings_.SetMaxLaserPower(Take()); });
  groups->addWidget(powers, 1, 0);

  QGroupBox* offset = Group(QStringLiteral("Range offset"), this, &g);
  bind_.Text(AddField<NumericEdit>(g, 0, "Range Offset", true), &KRV02Fields::rangeOffset);
  bind_.Text(AddField<NumericEdit>(g, 1, "Multiplier", true), &KRV02Fields::rangeMultiplier);
  bind_.Text(AddField<NumericEdit>(g, 2, "Cosine", true), &KRV02Fields::cosine);
  AddButton(g, 3, 1, QStringLiteral("Set Range offset"), [this] { return settings_.SetRangeOffset(Take()); });
  groups->addWidget(offset, 2, 0);

  QGroupBox* analog = Group(QStringLiteral("Analog Factors"), this, &g);
  bind_.Text(AddField<NumericEdit>(g, 0, "Min. Range", true), &KRV02Fields::minRange);
  bind_.Text(AddField<NumericEdit>(g, 1, "Max. Range", true), &KRV02Fields::maxRange);
  bind_.Text(AddField<NumericEdit>(g, 2, "Min. Volts", true), &KRV02Fields::voltsAtMinRange);
  bind_.Text(AddField<NumericEdit>(g, 3, "Max. Volts", true), &KRV02Fields::voltsAtMaxRange);
  bind_.Text(AddField<NumericEdit>(g, 4, "Offset", true), &KRV02Fields::offsetVolts);
  bind_.Text(AddField<NumericEdit>(g, 5, "Out of Range", true), &KRV02Fields::voltsOutsideRange);
  AddButton(g, 6, 1, QStringLiteral("Set Analog Factors"), [this] { return settings_.SetAnalogFactors(Take()); });
  groups->addWidget(analog, 1, 1, 2, 1);

  QGroupBox* threshold = Group(QString(), this, &g);
  NumericEdit* thresholdField = AddField<NumericEdit>(g, 0, "Threshold", false);
  bind_.Text(thresholdField, &KRV02Fields::threshold);
  AddThresholdSpin(g, 0, thresholdField);
  AddButton(g, 0, 3, QStringLiteral("Set Threshold"), [this] { return settings_.SetThreshold(Take()); });
  groups->addWidget(threshold, 3, 0);

  QGroupBox* laser = Group(QStringLiteral("Laser"), this, &g);
  bind_.Choice(AddList(g, 0, KRV02Settings::LaserTexts(), QStringLiteral("Laser")), &KRV02Fields::laser);
  AddButton(g, 0, 2, QStringLiteral("Set Laser"), [this] { return settings_.SetLaser(Take()); });
  groups->addWidget(laser, 3, 1);

  QGroupBox* averaging = Group(QString(), this, &g);
  bind_.Text(AddField<NumericEdit>(g, 0, "Averaging Period(ms)", false), &KRV02Fields::averagingPeriod);
  g->addWidget(new QLabel(QStringLiteral("(ms)"), averaging), 0, 2);
  AddButton(g, 0, 3, QStringLiteral("Averaging Period"), [this] { return settings_.SetAveragingPeriod(Take()); });
  groups->addWidget(averaging, 4, 0);

  QGroupBox* scan = Group(QStringLiteral("Scan Buffer Variables"), this, &g);
  bind_.Text(AddField<NumericEdit>(g, 0, "Dropout", true), &KRV02Fields::dropoutFactor);
  bind_.Text(AddField<NumericEdit>(g, 1, "Smooth", true), &KRV02Fields::smoothFactor);
  auto* orderLabel = new QLabel(QStringLiteral("Order factor:"), scan);
  auto* order = new QComboBox(scan);
  for (const std::string& t : KRV02Settings::OrderFactorTexts()) order->addItem(Q(t));
  order->setAccessibleName(QStringLiteral("Order factor"));
  orderLabel->setBuddy(order);
  g->addWidget(orderLabel, 2, 0);
  g->addWidget(order, 2, 1);
  bind_.Choice(order, &KRV02Fields::orderFactor);
  AddButton(g, 3, 1, QStringLiteral("Set Scan Filter Variables"),
            [this] { return settings_.SetScanFilterVariables(Take()); });
  bind_.Text(AddField<NumericEdit>(g, 4, "Scan Interval", true), &KRV02Fields::scanInterval);
  g->addWidget(new QLabel(QStringLiteral("(0.6 x)"), scan), 4, 2);
  AddButton(g, 5, 1, QStringLiteral("Set Scan Int."), [this] { return settings_.SetScanInterval(Take()); });
  groups->addWidget(scan, 4, 1, 2, 1);

  Finish(groups);
  ShowFields();
  UpdateHints();
}

KRV02Fields CKRV02SettingsDlg::Take() const { return bind_.Take(settings_.fields()); }
bool CKRV02SettingsDlg::Reread() { return settings_.Refresh(); }
void CKRV02SettingsDlg::ShowFields() { bind_.Show(settings_.fields()); }
bool CKRV02SettingsDlg::TypedButNotSent() const { return bind_.TextsDiffer(settings_.readFields()); }
int CKRV02SettingsDlg::ChosenMode() const { return mode_->currentIndex(); }

// --- KRV04 family -----------------------------------------------------------------

CKRV04FamilySettingsDlg::CKRV04FamilySettingsDlg(KRV04FamilySettings& settings, QWidget* parent)
    : CCustomSettingsDlg(settings, parent), family_(settings) {}

KRV04Fields CKRV04FamilySettingsDlg::Take() const { return bind_.Take(family_.fields()); }
bool CKRV04FamilySettingsDlg::Reread() { return family_.Refresh(); }
void CKRV04FamilySettingsDlg::ShowFields() { bind_.Show(family_.fields()); }
bool CKRV04FamilySettingsDlg::TypedButNotSent() const { return bind_.TextsDiffer(family_.readFields()); }
int CKRV04FamilySettingsDlg::ChosenMode() const { return mode_ != nullptr ? mode_->currentIndex() : -1; }

int CKRV04FamilySettingsDlg::AddSharedGroups(QGridLayout* groups, int row) {
  QGridLayout* g = nullptr;
  QGroupBox* powers = Group(QStringLiteral("Laser powers"), this, &g);
  bind_.Text(AddField<NumericEdit>(g, 0, "Min. Laser Power", false), &KRV04Fields::minLaserPower);
  AddButton(g, 0, 2, QStringLiteral("Set Min LP"), [this] { return family_.SetMinLaserPower(Take()); });
  bind_.Text(AddField<NumericEdit>(g, 1, "Max. Laser Power", false), &KRV04Fields::maxLaserPower);
  AddButton(g, 1, 2, QStringLiteral("Set Max LP"), [this] { return family_.SetMaxLaserPower(Take()); });
  groups->addWidget(powers, row, 0);

  QGroupBox* threshold = Group(QStringLiteral("Threshold"), this, &g);
  NumericEdit* thresholdField = AddField<NumericEdit>(g, 0, "Threshold", false);
  bind_.Text(thresholdField, &KRV04Fields::threshold);
  AddThresholdSpin(g, 0, thresholdField);
  AddButton(g, 0, 3, QStringLiteral("Set Threshold"), [this] { return family_.SetThreshold(Take()); });
  groups->addWidget(threshold, row + 1, 0);

  // One button per value, each beside its field.
  QGroupBox* analog = Group(QStringLiteral("Analog Factors"), this, &g);
  const std::pair<const char*, std::string KRV04Fields::*> fields[] = {
      {"Min. Range", &KRV04Fields::minRange},       {"Max. Range", &KRV04Fields::maxRange},
      {"Min. Volts", &KRV04Fields::voltsAtMinRange}, {"Max. Volts", &KRV04Fields::voltsAtMaxRange},
      {"Out of Range", &KRV04Fields::voltsOutsideRange}};
  const std::function<SetResult(const KRV04Fields&)> presses[] = {
      [this](const KRV04Fields& f) { return family_.SetMinRange(f); },
      [this](const KRV04Fields& f) { return family_.SetMaxRange(f); },
      [this](const KRV04Fields& f) { return family_.SetMinVolts(f); },
      [this](const KRV04Fields& f) { return family_.SetMaxVolts(f); },
      [this](const KRV04Fields& f) { return family_.SetVoltsOutside(f); }};
  for (int i = 0; i < 5; ++i) {
    // The field's caption is its button's.
    bind_.Text(AddField<NumericEdit>(g, i, fields[i].first, false), fields[i].second);
    AddButton(g, i, 0, Q(family_.Caption(fields[i].first)), [this, press = presses[i]] { return press(Take()); });
  }
  groups->addWidget(analog, row, 1, 2, 1);
  return row + 2;
}

QGroupBox* CKRV04FamilySettingsDlg::ModeGroup(const std::vector<std::string>& texts,
                                              std::function<SetResult(const KRV04Fields&)> setMode) {
  QGridLayout* g = nullptr;
  QGroupBox* mode = Group(QStringLiteral("Mode"), this, &g);
  mode_ = AddList(g, 0, texts, QStringLiteral("Mode"));
  bind_.Choice(mode_, &KRV04Fields::mode);
  connect(mode_, &QComboBox::currentIndexChanged, this, &CKRV04FamilySettingsDlg::UpdateHints);
  AddButton(g, 1, 1, QStringLiteral("Set Mode"), [this, setMode = std::move(setMode)] { return setMode(Take()); });
  return mode;
}

CKRV04SettingsDlg::CKRV04SettingsDlg(KRV04Settings& settings, QWidget* parent)
    : CKRV04FamilySettingsDlg(settings, parent) {
  auto* groups = new QGridLayout(this);
  const int row = AddSharedGroups(groups, 0);
  groups->addWidget(ModeGroup(settings.ModeTexts(), [&settings](const KRV04Fields& f) { return settings.SetMode(f); }),
                    row, 0);
  QGridLayout* g = nullptr;
  QGroupBox* hold = Group(QStringLiteral("Hold last range value"), this, &g);
  enable_ = new QCheckBox(QStringLiteral("Enable"), hold);
  enable_->setAccessibleName(QStringLiteral("Enable"));
  g->addWidget(enable_, 0, 0);
  bind_.Check(enable_, &KRV04Fields::holdLastRange);
  // Each click sends the state the box now has.
  connect(enable_, &QCheckBox::clicked, this, [this, &settings] {
    if (settings.LineBusy()) {
      ShowFields();  // the box shows what the sensor holds again
      return;
    }
    Show(settings.SetHoldLastRange(Take()));
  });
  bind_.Text(AddField<QLineEdit>(g, 1, "Max samples to hold last range", false), &KRV04Fields::maxDropouts);
  AddButton(g, 1, 0, QStringLiteral("Max # dropouts"), [this, &settings] { return settings.SetMaxDropouts(Take()); });
  groups->addWidget(hold, row, 1);
  Finish(groups);
  ShowFields();
  UpdateHints();
}

CQMTSSettingsDlg::CQMTSSettingsDlg(QmtShortSettings& settings, QWidget* parent)
    : CKRV04FamilySettingsDlg(settings, parent) {
  auto* groups = new QGridLayout(this);
  AddSharedGroups(groups, 0);
  Finish(groups);
  ShowFields();
  UpdateHints();
}

CKRV04BFSettingsDlg::CKRV04BFSettingsDlg(KRV04BFSettings& settings, QWidget* parent)
    : CKRV04FamilySettingsDlg(settings, parent) {
  auto* groups = new QGridLayout(this);
  const int row = AddSharedGroups(groups, 0);
  groups->addWidget(ModeGroup(settings.ModeTexts(), [&settings](const KRV04Fields& f) { return settings.SetMode(f); }),
                    row, 0);
  QGridLayout* g = nullptr;
  QGroupBox* wane = Group(QStringLiteral("Wane variables"), this, &g);
  bind_.Text(AddField<NumericEdit>(g, 0, "Min Wane Width", true), &KRV04Fields::waneWidth);
  bind_.Text(AddField<NumericEdit>(g, 1, "Min Wane Height", true), &KRV04Fields::waneHeight);
  bind_.Text(AddField<NumericEdit>(g, 2, "Pulse duration", true), &KRV04Fields::pulseDuration);
  bind_.Text(AddField<NumericEdit>(g, 3, "Conveyer Speed", true), &KRV04Fields::conveyerSpeed);
  bind_.Text(AddField<NumericEdit>(g, 4, "Board timeout", true), &KRV04Fields::boardTimeout);
  AddButton(g, 5, 1, QStringLiteral("Set Wane Variables"),
            [this, &settings] { return settings.SetWaneVariables(Take()); });
  groups->addWidget(wane, row, 1, 2, 1);
  QGroupBox* laser = Group(QStringLiteral("Laser"), this, &g);
  AddButton(g, 0, 0, QStringLiteral("Laser On"), [this, &settings] { return settings.LaserOn(Take()); });
  AddButton(g, 0, 1, QStringLiteral("Laser Off"), [this, &settings] { return settings.LaserOff(Take()); });
  groups->addWidget(laser, row + 1, 0);
  Finish(groups);
  ShowFields();
  UpdateHints();
}

CCustomSettingsDlg* MakeSettingsDialog(CKRV02Doc& doc, QWidget* parent) {
  ModelSettings* settings = doc.currentSettings();
  if (!doc.connected() || settings == nullptr) return nullptr;
  if (auto* s = dynamic_cast<KRV02Settings*>(settings)) return new CKRV02SettingsDlg(*s, parent);
  if (auto* s = dynamic_cast<KRV04BFSettings*>(settings)) return new CKRV04BFSettingsDlg(*s, parent);
  if (auto* s = dynamic_cast<KRV04Settings*>(settings)) return new CKRV04SettingsDlg(*s, parent);
  if (auto* s = dynamic_cast<QmtShortSettings*>(settings)) return new CQMTSSettingsDlg(*s, parent);
  return nullptr;
}
