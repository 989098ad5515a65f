// The settings dialogs say what happened, in their own words: Enter in a
// field presses its "Set" button, the status line (and its accessible
// name) gives what the sensor now holds, a refusal names the field as the
// dialog labels it, typed values never sent are not lost silently on
// closing, and each field shows its unit and the values its check accepts.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "protocol/command_ids.h"
#include "tarkon/document/settings_editing.h"
#include "tarkon/ui/settings_dialogs.h"
#include "ui_test_support.h"

namespace uitest {
namespace {

template <typename W>
W* Named(QWidget* dialog, const QString& name) {
  for (W* w : dialog->findChildren<W*>())
    if (w->accessibleName() == name) return w;
  return nullptr;
}

class SettingsDialogFeedback : public TracedUiTest {
 protected:
  // Opens "Sensor Settings" and runs `act` on the dialog; `act` closes it.
  void WithDialog(CMainFrame& frame, const std::function<void(CCustomSettingsDlg*)>& act) {
    auto came = OnNextModalOf<CCustomSettingsDlg>(act);
    frame.action(DocCommand::kSensorSettings)->trigger();
    EXPECT_TRUE(*came);
  }
  // Types `text` over the field's text and presses Enter.
  static void TypeAndEnter(QLineEdit* field, const QString& text) {
    ASSERT_NE(field, nullptr);
    field->selectAll();
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
  }
};

TEST_F(SettingsDialogFeedback, EnterSendsTheStatusSaysWhatIsHeldAndARefusalUsesTheDialogsWords) {
  CMainFrame& frame = ConnectTraced("KRV04");
  sensor_->Mutate([](sim::SensorState& s) { s.settings.analog.maxVolts = 7000; });
  frame.RunCommand(DocCommand::kRereadSettings);
  WithDialog(frame, [&](CCustomSettingsDlg* dialog) {
    trace_.Clear();
    TypeAndEnter(Named<QLineEdit>(dialog, "Threshold"), "55");
    EXPECT_EQ(sensor_->Snapshot().settings.threshold, 55);
    EXPECT_EQ(trace_.Commands().front(), cmd::SetThreshold);
    EXPECT_EQ(dialog->statusText()->text(), "Threshold: 55, read back");
    EXPECT_EQ(dialog->statusText()->accessibleName(), "Threshold: 55, read back");

    // The engine checks "Max. Volts"; this dialog calls it "Volts @ Maximum".
    QString refusal;
    auto box = OnNextModalOf<QMessageBox>([&](QMessageBox* b) {
      refusal = b->text();
      b->button(QMessageBox::Ok)->click();
    });
    trace_.Clear();
    TypeAndEnter(Named<QLineEdit>(dialog, "Volts @ Maximum"), "99");
    EXPECT_TRUE(*box);
    EXPECT_EQ(refusal, "Volts @ Maximum must be between 0.000 and 65.535");
    EXPECT_EQ(dialog->statusText()->text(), "Not sent: Volts @ Maximum must be between 0.000 and 65.535");
    EXPECT_EQ(trace_.Commands(), std::vector<int>{});

    // Closing with "99" typed and not sent: No (the default) keeps the
    // dialog and the text; Yes closes it. Nothing is sent either way.
    bool noIsDefault = false;
    auto keep = OnNextModalOf<QMessageBox>([&](QMessageBox* b) {
      noIsDefault = static_cast<QAbstractButton*>(b->defaultButton()) == b->button(QMessageBox::No);
      QTest::keyClick(b, Qt::Key_Return);
    });
    dialog->closeButton()->click();
    EXPECT_TRUE(*keep);
    EXPECT_TRUE(noIsDefault);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(Named<QLineEdit>(dialog, "Volts @ Maximum")->text(), "99");
    auto discard = OnNextModalOf<QMessageBox>([](QMessageBox* b) { b->button(QMessageBox::Yes)->click(); });
    dialog->closeButton()->click();
    EXPECT_TRUE(*discard);
  });
  Pump(50);
  EXPECT_EQ(trace_.Commands(), std::vector<int>{});
  EXPECT_EQ(sensor_->Snapshot().settings.analog.maxVolts, 7000);
  // Opened again, the dialog shows what the sensor holds, not the discarded text.
  WithDialog(frame, [&](CCustomSettingsDlg* dialog) {
    EXPECT_EQ(Named<QLineEdit>(dialog, "Volts @ Maximum")->text(), "7.000");
    dialog->closeButton()->click();
  });
}

TEST_F(SettingsDialogFeedback, UnitsAndAcceptedValuesFollowTheChosenMode) {
  CMainFrame& frame = ConnectTraced("KRV04");
  struct Expect {
    const char* field;
    const char* unit;  // null: no unit beside it
    const char* accepts;
  };
  const struct {
    int mode;
    std::vector<Expect> fields;
  } modes[] = {
      {0,
       {{"Min. Range", "inch", "0.000 inch to 8.000 inch"},
        {"Volts @ Maximum", "V", "0.000 to 65.535"},
        {"Threshold", nullptr, "0 to 255"},
        {"Min. laser power", nullptr, "0 to 254"},
        {"Max # dropouts", nullptr, "0 to 65535"}}},
      {1, {{"Max. Range", "mm", "0.00 mm to 200.00 mm"}, {"Volts outside", "V", "0.000 to 65.535"}}},
  };
  WithDialog(frame, [&](CCustomSettingsDlg* dialog) {
    for (const auto& m : modes) {
      Named<QComboBox>(dialog, "Mode")->setCurrentIndex(m.mode);
      for (const Expect& e : m.fields) {
        QLineEdit* field = Named<QLineEdit>(dialog, e.field);
        ASSERT_NE(field, nullptr) << e.field;
        EXPECT_EQ(field->toolTip(), e.accepts) << e.field;
        QLabel* unit = dialog->unitOf(field);
        if (e.unit == nullptr) {
          EXPECT_EQ(unit, nullptr) << e.field;
        } else {
          ASSERT_NE(unit, nullptr) << e.field;
          EXPECT_EQ(unit->text(), e.unit) << e.field;
          EXPECT_TRUE(unit->accessibleName().endsWith(e.unit)) << e.field;
        }
      }
    }
    dialog->closeButton()->click();
  });
}

TEST_F(SettingsDialogFeedback, KRV02ReportsEveryValueItWroteAndWhatDiffersFromTheTyped) {
  CMainFrame& frame = ConnectTraced("KRV02");  // revision C: averaging in steps of 1.5 ms
  sensor_->Mutate([](sim::SensorState& s) {
    s.settings.rangeMode = 0;
    s.settings.rangeOffset = 1234;
    s.settings.multiplier = 1234;
    s.settings.cosine = 9999;
  });
  frame.RunCommand(DocCommand::kRereadSettings);
  WithDialog(frame, [&](CCustomSettingsDlg* dialog) {
    QLineEdit* cosine = Named<QLineEdit>(dialog, "Cosine");
    ASSERT_NE(cosine, nullptr);
    EXPECT_EQ(cosine->toolTip(), "0 to 1.0000");
    EXPECT_EQ(dialog->unitOf(Named<QLineEdit>(dialog, "Range offset"))->text(), "inch");
    EXPECT_EQ(Named<QLineEdit>(dialog, "Averaging period (ms)")->toolTip(),
              "0.000 to 21474.836 ms, in steps of 1.500 ms");
    TypeAndEnter(cosine, "0.5");
    EXPECT_EQ(dialog->statusText()->text(),
              "Range offset: 1.234, Range multiplier: 1.234, Cosine: 0.5000, read back");
    EXPECT_EQ(sensor_->Snapshot().settings.rangeOffset, 1234);
    // A value the sensor holds otherwise than typed is reported as such:
    // the averaging period goes down to a whole number of 1.5 ms steps.
    TypeAndEnter(Named<QLineEdit>(dialog, "Averaging period (ms)"), "74.565");
    EXPECT_EQ(dialog->statusText()->text(), "Averaging period: 73.500 (typed 74.565), read back, not as typed");
    dialog->closeButton()->click();
  });
}

}  // namespace
}  // namespace uitest
