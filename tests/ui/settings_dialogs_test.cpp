// The four settings dialogs through their widgets against the virtual
// sensor of each model: one button of every group in both check modes
// (what lands in the sensor and whether the settings are read back), and
// refused values (the engine's message in a question box, nothing sent).

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "protocol/command_ids.h"
#include "tarkon/document/numeric_text.h"
#include "tarkon/document/settings_editing.h"
#include "tarkon/ui/settings_dialogs.h"
#include "tarkon/ui/setup_pane.h"
#include "ui_test_support.h"

namespace uitest {
namespace {

template <typename W>
W* Named(QWidget* dialog, const QString& name) {
  for (W* w : dialog->findChildren<W*>()) {
    if (w->accessibleName() == name) return w;
  }
  return nullptr;
}

using Fields = std::vector<std::pair<const char*, const char*>>;

struct ButtonCase {
  const char* model;
  Fields fields;              // accessible name -> typed text
  const char* list = nullptr; // a list and the entry chosen in it
  int entry = -1;
  const char* button;
  std::function<bool(const sim::Settings&)> landed;
  bool reread = true;
};
void PrintTo(const ButtonCase& c, std::ostream* os) { *os << c.model << " \"" << c.button << "\""; }

class SettingsDialogs : public TracedUiTest {
 protected:
  // Opens "Sensor Settings", runs `act` on the dialog, closes it.
  void WithDialog(CMainFrame& frame, const std::function<void(CCustomSettingsDlg*)>& act) {
    auto came = OnNextModalOf<CCustomSettingsDlg>([act](CCustomSettingsDlg* dialog) {
      EXPECT_EQ(dialog->windowTitle(), "Settings");
      act(dialog);
      dialog->closeButton()->click();
    });
    frame.action(DocCommand::kSensorSettings)->trigger();
    EXPECT_TRUE(*came);
  }
  static void Fill(CCustomSettingsDlg* dialog, const Fields& fields, const char* list, int entry) {
    for (const auto& [name, text] : fields) {
      QLineEdit* edit = Named<QLineEdit>(dialog, name);
      ASSERT_NE(edit, nullptr) << name;
      edit->setText(text);
    }
    if (list != nullptr) {
      QComboBox* box = Named<QComboBox>(dialog, list);
      ASSERT_NE(box, nullptr) << list;
      box->setCurrentIndex(entry);
    }
  }
};

class SettingsButtons : public SettingsDialogs,
                        public ::testing::WithParamInterface<std::tuple<ButtonCase, bool>> {};

TEST_P(SettingsButtons, ButtonSendsAndReadsBack) {
  const auto& [c, crc] = GetParam();
  CMainFrame& frame = ConnectTraced(c.model, crc);
  WithDialog(frame, [&, c = c](CCustomSettingsDlg* dialog) {
    Fill(dialog, c.fields, c.list, c.entry);
    QPushButton* button = dialog->button(c.button);
    ASSERT_NE(button, nullptr) << c.button;
    trace_.Clear();
    button->click();
  });
  EXPECT_TRUE(BlockUntil([&] { return c.landed(sensor_->Snapshot().settings); })) << c.button;
  BlockUntil([&] { return !trace_.Commands().empty(); }, 300);
  const std::vector<int> sent = trace_.Commands();
  ASSERT_FALSE(sent.empty());
  EXPECT_NE(sent.front(), cmd::GetSensorSetup);  // the button's command first
  EXPECT_EQ(Sent(cmd::GetSensorSetup), c.reread ? 1u : 0u);
}

const ButtonCase kButtonCases[] = {
    {"KRV02", {}, "Scan Mode", 1, "Set Mode", [](const sim::Settings& s) { return s.rangeMode == 1; }},
    {"KRV02", {{"Min. laser power", "20"}}, nullptr, -1, "Set Min.",
     [](const sim::Settings& s) { return s.minLaserPower == 20; }},
    {"KRV02", {{"Cosine", "1"}, {"Range multiplier", "1.25"}}, nullptr, -1, "Set Range offset",
     [](const sim::Settings& s) { return s.cosine == 10000 && s.multiplier == 1250; }},
    {"KRV02", {{"Volts @ minimum range", "1.5"}}, nullptr, -1, "Set Analog Factors",
     [](const sim::Settings& s) { return s.analog.minVolts == 1500; }},
    {"KRV02", {{"Threshold", "255"}}, nullptr, -1, "Set Threshold",
     [](const sim::Settings& s) { return s.threshold == 255; }},
    {"KRV02", {}, "Laser", 1, "Set Laser", [](const sim::Settings& s) { return !s.laserOn; }},
    {"Qmt Long", {{"Averaging period (ms)", "0"}}, nullptr, -1, "Averaging Period",
     [](const sim::Settings& s) { return s.averagingHigh == 0 && s.averagingLow == 0; }},
    {"KRV02", {{"Dropout factor", "7"}}, "Order factor", 2, "Set Scan Filter Variables",
     [](const sim::Settings& s) { return s.dropout == 7 && s.order == 5; }},
    {"Qmt Long", {{"Scan Interval", "25"}}, nullptr, -1, "Set Scan Int.",
     [](const sim::Settings& s) { return s.scanInterval == 25; }},
    {"KRV04", {{"Max. laser power", "150"}}, nullptr, -1, "Set Max LP",
     [](const sim::Settings& s) { return s.maxLaserPower == 150; }},
    {"KRV04", {{"Threshold", "100"}}, nullptr, -1, "Set Threshold",
     [](const sim::Settings& s) { return s.threshold == 100; }},
    {"KRV04", {{"Volts @ Maximum", "5"}}, nullptr, -1, "Volts @ Maximum",
     [](const sim::Settings& s) { return s.analog.maxVolts == 5000; }},
    {"KRV04", {}, "Mode", 1, "Set Mode", [](const sim::Settings& s) { return s.rangeMode == 1; }},
    {"KRV04", {{"Max # dropouts", "9"}}, nullptr, -1, "Max # dropouts",
     [](const sim::Settings& s) { return s.holdScans == 9; }},
    {"Qmt Short", {{"Threshold", "255"}}, nullptr, -1, "Set Threshold",
     [](const sim::Settings& s) { return s.threshold == 255; }},
    {"Qmt Short", {{"Min. Range", "2"}}, nullptr, -1, "Min. Range",
     [](const sim::Settings& s) { return s.analog.minRange == 2000; }},
    {"KRV04 Board Flipper", {{"Min. laser power", "5"}}, nullptr, -1, "Set Min LP",
     [](const sim::Settings& s) { return s.minLaserPower == 5; }},
    {"KRV04 Board Flipper", {{"Pulse Duration(ms)", "33"}, {"Board timeout(ms)", "700"}}, nullptr, -1,
     "Set Wane Variables", [](const sim::Settings& s) { return s.wane.pulse == 33 && s.boardTimeout == 700; }},
    {"KRV04 Board Flipper", {}, "Mode", 1, "Set Mode", [](const sim::Settings& s) { return s.rangeMode == 1; }},
    {"KRV04 Board Flipper", {}, nullptr, -1, "Laser Off", [](const sim::Settings& s) { return !s.laserOn; },
     false},
};

INSTANTIATE_TEST_SUITE_P(EveryGroup, SettingsButtons,
                         ::testing::Combine(::testing::ValuesIn(kButtonCases), ::testing::Bool()));

struct RefusalCase {
  const char* model;
  Fields fields;
  const char* button;
  std::string message;
};
void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.model << " \"" << c.button << "\""; }

class SettingsDialogRefusals : public SettingsDialogs, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(SettingsDialogRefusals, MessageInAQuestionBoxAndNothingSent) {
  const RefusalCase& c = GetParam();
  CMainFrame& frame = ConnectTraced(c.model);
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  std::shared_ptr<bool> discard;
  QString discardQuestion;
  bool noIsDefault = false;
  WithDialog(frame, [&](CCustomSettingsDlg* dialog) {
    Fill(dialog, c.fields, nullptr, -1);
    auto box = OnNextModalOf<QMessageBox>([&](QMessageBox* b) {
      text = b->text();
      icon = b->icon();
      b->button(QMessageBox::Ok)->click();
    });
    trace_.Clear();
    dialog->button(c.button)->click();
    EXPECT_TRUE(*box);
    // The fields keep what was typed.
    for (const auto& [name, typed] : c.fields) EXPECT_EQ(Named<QLineEdit>(dialog, name)->text(), typed);
    // Closing with the refused text still typed asks first; Yes discards it.
    discard = OnNextModalOf<QMessageBox>([&](QMessageBox* b) {
      discardQuestion = b->text();
      noIsDefault = static_cast<QAbstractButton*>(b->defaultButton()) == b->button(QMessageBox::No);
      b->button(QMessageBox::Yes)->click();
    });
  });
  EXPECT_EQ(text.toStdString(), c.message);
  EXPECT_EQ(icon, QMessageBox::Question);
  ASSERT_TRUE(discard && *discard);
  EXPECT_EQ(discardQuestion.toStdString(), settings_editing::kDiscardQuestion);
  EXPECT_TRUE(noIsDefault);
  Pump(100);
  EXPECT_EQ(trace_.Commands(), std::vector<int>{});
}

INSTANTIATE_TEST_SUITE_P(
    Checks, SettingsDialogRefusals,
    ::testing::Values(RefusalCase{"KRV02", {{"Threshold", "256"}}, "Set Threshold", "Thresholdmust be between 0 and 255"},
                      RefusalCase{"KRV02", {{"Cosine", "1.0001"}}, "Set Range offset",
                                  "Cosine must be between 0 and 1.0000"},
                      RefusalCase{"Qmt Long", {{"Averaging period (ms)", "-1"}}, "Averaging Period",
                                  "Averaging period must be between 0 and 21474836.47"},
                      RefusalCase{"KRV02", {{"Min. laser power", "255"}}, "Set Min.",
                                  "Min laser power must be between 0 and 254"},
                      RefusalCase{"KRV04", {{"Threshold", "-1"}}, "Set Threshold", "Threshold must be between 0 and 255"},
                      RefusalCase{"KRV04", {{"Max. Range", "9"}}, "Max. Range",
                                  "Range values must be between 0.000 inch and 8.000 inch"},
                      RefusalCase{"KRV04 Board Flipper", {{"Threshold", "300"}}, "Set Threshold",
                                  "Thresholdmust be between 0 and 255"},
                      // The one field that takes any text: not a number is not 0.
                      RefusalCase{"KRV04", {{"Max # dropouts", "abc"}}, "Max # dropouts", kNumericNotANumberMessage},
                      RefusalCase{"KRV04", {{"Max # dropouts", "12abc"}}, "Max # dropouts",
                                  kNumericNotANumberMessage},
                      // What a byte cannot hold is refused, never sent as its low 8 bits.
                      RefusalCase{"Qmt Short", {{"Threshold", "256"}}, "Set Threshold",
                                  "Threshold must be between 0 and 255"},
                      // A count takes no fraction.
                      RefusalCase{"KRV04", {{"Max # dropouts", "7.9"}}, "Max # dropouts",
                                  "Max # dropouts must be a whole number from 0 to 65535"}));

TEST_F(SettingsDialogs, SetModeWithoutAnEntryAndTheEnableBox) {
  CMainFrame& frame = ConnectTraced("KRV04", true);
  WithDialog(frame, [&](CCustomSettingsDlg* dialog) {
    Named<QComboBox>(dialog, "Mode")->setCurrentIndex(-1);
    trace_.Clear();
    dialog->button("Set Mode")->click();
    Pump(100);
    EXPECT_EQ(trace_.Commands(), std::vector<int>{});  // nothing sent, no re-read
    auto* dlg = dynamic_cast<CKRV04SettingsDlg*>(dialog);
    ASSERT_NE(dlg, nullptr);
    const bool was = dlg->enableBox()->isChecked();
    dlg->enableBox()->click();
    EXPECT_TRUE(BlockUntil([&] { return sensor_->Snapshot().settings.holdLastRange == (was ? 0 : 1); }));
    EXPECT_EQ(dlg->enableBox()->isChecked(), !was);  // as read back
    // "Refresh" reads the sensor's values into the fields again.
    sensor_->Mutate([](sim::SensorState& s) { s.settings.threshold = 77; });
    dialog->refreshButton()->click();
    EXPECT_EQ(Named<QLineEdit>(dialog, "Threshold")->text(), "77");
  });
  // The setup pane shows what the sensor now holds.
  EXPECT_TRUE(PumpUntil([&] {
    for (const auto& [name, value] : Rows(frame.setupPane()->settingsList())) {
      if (name == "Threshold" && value == "77") return true;
    }
    return false;
  }));
}

}  // namespace
}  // namespace uitest
